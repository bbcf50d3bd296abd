#include "lumenfold/surveyor/keywords.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>

#include "lumenfold/common/regex.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/language.h"
#include "lumenfold/surveyor/symbols.h"

// File keywords come from six sources, tried in a fixed order: route
// registrations, route decorators, declared names (per language), the
// leading documentation block and outgoing HTTP calls. The order matters
// because the list keeps the first 80 distinct words, so the most telling
// sources come first.
//
// The Swift and Go declaration patterns start at a line but may read on over
// many lines (modifier words and line breaks for Swift, a receiver up to its
// ")" for Go). A plain search retries them at every line, so a file of many
// lines holding only "public", or many "func (" lines before one distant
// ")", makes the engine re-read the rest of the file from every line:
// quadratic, and far below any backtracking limit. Those patterns are
// therefore tried line by line, anchored, each time on only the stretch of
// text they can read from that line, and lines that provably fail the same
// way as the one just tried are skipped. The pattern still decides every
// match; the driver only bounds what it is shown.

namespace lumenfold::surveyor {

namespace {

using common::Regex;
using common::RegexMatch;

// Enough to describe a file for ranking while keeping the graph small.
constexpr size_t kMaxKeywords = 80;
// Shorter words ("id", "db", "ok") match too many queries to help ranking.
constexpr size_t kMinKeywordLength = 3;

struct KeywordPatterns {
  // Routes registered on a router object: app.get('/users'), r.HandleFunc("/x").
  Regex route_registration{
      R"re((?:app|router|r|mux|api)\s*[.\@]\s*(get|post|put|delete|patch|handle|handlefunc)\s*\(\s*['"/]([^'")\s]+))re",
      common::kRegexCaseless};
  // Routes declared by decorators: @app.get("/users").
  Regex route_decorator{R"re(@\w+\.(get|post|put|delete|patch)\s*\(\s*[\'"]([^\'"]+)[\'"])re", common::kRegexCaseless};
  Regex route_segment_noise{R"re([{}:<>])re"};

  Regex js_declaration{
      R"re(export\s+(?:default\s+)?(?:async\s+)?(?:function|class|const|type|interface|enum)\s+([A-Za-z_]\w*))re"};
  Regex js_export_list{R"re(export\s*\{([^}]+)\})re"};
  Regex js_export_list_separator{R"re([,\s]+)re"};
  Regex py_declaration{R"re(^(?:async\s+)?def\s+([A-Za-z_]\w*)|^class\s+([A-Za-z_]\w*))re", common::kRegexMultiline};
  Regex go_exported_func{R"re(^func\s+(?:\([^)]+\)\s+)?([A-Z]\w*))re", common::kRegexMultiline};
  Regex swift_type{
      R"re(^(?:public\s+|private\s+|internal\s+|open\s+|final\s+)*(?:class|struct|enum|protocol|actor|extension)\s+([A-Za-z_]\w*))re",
      common::kRegexMultiline};
  Regex swift_func{
      R"re(^(?:\s*)(?:public\s+|private\s+|internal\s+|open\s+|static\s+|class\s+|mutating\s+|override\s+)*func\s+([A-Za-z_]\w*))re",
      common::kRegexMultiline};
  Regex cs_type{
      R"re((?:public|private|protected|internal)\s+(?:(?:static|abstract|sealed|partial|new|override|virtual|extern|unsafe)\s+)*(?:class|interface|enum|struct|record)\s+([A-Za-z_]\w*))re"};
  Regex cs_method{
      R"re((?:public|private|protected|internal)\s+(?:static\s+)?(?:async\s+)?(?:virtual\s+|override\s+)?(?!class|if|for|while|return)[\w<>\[\]?]+\s+([A-Za-z_]\w*)\s*\()re"};
  Regex xaml_class{R"re(x:Class="[\w.]*\.([A-Za-z_]\w*)")re"};
  Regex xaml_name{R"re(x:Name="([A-Za-z_]\w*)")re"};

  Regex leading_docstring{R"re(\s*"""([^"]{10,200}))re"};
  Regex leading_block_comment{R"re(\s*/\*\*?\s*([^\n*]{10,200}))re"};
  Regex doc_word{R"re([a-zA-Z]{4,})re"};

  Regex http_call{
      R"re((?:fetch|axios\.(?:get|post|put|delete)|requests\.(?:get|post|put|delete))\s*\(\s*[`'"](https?://[^`'"]+|/[^`'"]+)[`'"])re",
      common::kRegexCaseless};
  Regex url_segment_noise{R"re([{}?=&<>])re"};

  Regex one_space{R"re(\s)re"};
};

// The words of the two Swift patterns, as they spell them.
constexpr std::array<std::string_view, 5> kSwiftTypeModifiers = {"public", "private", "internal", "open", "final"};
constexpr std::array<std::string_view, 6> kSwiftTypeKeywords = {"class",    "struct", "enum",
                                                                "protocol", "actor",  "extension"};
constexpr std::array<std::string_view, 8> kSwiftFuncModifiers = {"public", "private", "internal", "open",
                                                                 "static", "class",   "mutating", "override"};
constexpr std::array<std::string_view, 1> kSwiftFuncKeywords = {"func"};

// Compiled once, on first use; never changed afterwards.
const KeywordPatterns& keyword_patterns() {
  static const KeywordPatterns patterns;
  return patterns;
}

std::string_view strip_char(std::string_view text, char c) {
  while (!text.empty() && text.front() == c) text.remove_prefix(1);
  while (!text.empty() && text.back() == c) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> split_at(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  size_t begin = 0;
  while (true) {
    size_t at = text.find(sep, begin);
    if (at == std::string_view::npos) {
      parts.push_back(text.substr(begin));
      return parts;
    }
    parts.push_back(text.substr(begin, at - begin));
    begin = at + 1;
  }
}

std::string remove_all(std::string_view text, std::string_view needle) {
  std::string out;
  size_t begin = 0;
  for (size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, begin)) {
    out.append(text.substr(begin, at - begin));
    begin = at + needle.size();
  }
  out.append(text.substr(begin));
  return out;
}

// The growing keyword list with its two ways of offering a candidate.
class KeywordList {
 public:
  bool full() const { return words_.size() >= kMaxKeywords; }

  void offer_word(std::string_view word) {
    if (full()) return;
    std::string lowered = common::to_lower(word);
    std::string_view stripped = strip_char(lowered, '_');
    if (common::code_point_count(stripped) < kMinKeywordLength) return;
    std::string kept(stripped);
    if (!seen_.insert(kept).second) return;
    words_.push_back(std::move(kept));
  }

  // The name itself, then its camel-case parts (getUserName: get, user, name).
  void offer_name(std::string_view name) {
    offer_word(name);
    if (full()) return;
    for (const std::string& part : split_camel(name)) offer_word(part);
  }

  std::vector<std::string> take() { return std::move(words_); }

 private:
  std::vector<std::string> words_;
  std::unordered_set<std::string> seen_;
};

// Group 1 of every match, offered as a name.
void offer_group_names(const Regex& re, std::string_view content, KeywordList& list) {
  for (const RegexMatch& m : re.find_all(content).matches) {
    if (list.full()) return;
    list.offer_name(m.group(1));
  }
}

// The method, then each non-empty segment of the route path with its
// parameter punctuation removed ("/users/:id" gives users, id).
void offer_routes(const Regex& re, std::string_view content, KeywordList& list) {
  const Regex& noise = keyword_patterns().route_segment_noise;
  for (const RegexMatch& m : re.find_all(content).matches) {
    if (list.full()) return;
    list.offer_word(m.group(1));
    for (std::string_view segment : split_at(strip_char(m.group(2), '/'), '/')) {
      std::string cleaned = noise.replace_all(segment, "");
      if (!cleaned.empty()) list.offer_word(cleaned);
    }
  }
}

// Byte length of the white-space character at `pos` as the engine's \s sees
// it, 0 when there is none. Non-ASCII characters are asked of the engine
// itself so that the two can never disagree.
size_t space_length_at(std::string_view text, size_t pos) {
  if (pos >= text.size()) return 0;
  unsigned char c = static_cast<unsigned char>(text[pos]);
  if (c < 0x80) return (c == ' ' || (c >= '\t' && c <= '\r')) ? 1 : 0;
  size_t next = pos;
  common::decode_at(text, next);
  return keyword_patterns().one_space.full_match(text.substr(pos, next - pos)) ? next - pos : 0;
}

size_t skip_space(std::string_view text, size_t pos) {
  for (size_t n = space_length_at(text, pos); n > 0; n = space_length_at(text, pos)) pos += n;
  return pos;
}

// End of a run of bytes that may belong to a \w+ name: ASCII letters, digits
// and "_", and every non-ASCII byte (more than \w, which only makes the run
// longer).
size_t name_run_end(std::string_view text, size_t pos) {
  while (pos < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80 && !std::isalnum(c) && c != '_') break;
    ++pos;
  }
  return pos;
}

// How to try a line-anchored pattern at one line: the end of the text it is
// shown (everything it can read from that line lies before it), and where
// the search goes on when the attempt fails (the next line after that place).
struct LineAttempt {
  size_t window_end;
  size_t resume_on_failure;
};

// Group 1 of every match of a "^" pattern, as a left-to-right search finds
// them: each line is tried in turn, anchored, on the stretch `plan` allows.
template <typename Plan>
void offer_line_anchored_names(const Regex& pattern, std::string_view content, Plan plan, KeywordList& list) {
  size_t line = 0;
  while (line < content.size() && !list.full()) {
    LineAttempt attempt = plan(line);
    size_t resume = attempt.resume_on_failure;
    if (std::optional<RegexMatch> m = pattern.match_at_start(content.substr(line, attempt.window_end - line))) {
      list.offer_name(m->group(1));
      resume = line + m->end();
    }
    size_t newline = content.find('\n', resume);
    if (newline == std::string_view::npos) return;
    line = newline + 1;
  }
}

// A Swift declaration pattern spelled out: optional leading space, modifier
// words each followed by space, one keyword, space, and the name.
struct SwiftDeclaration {
  std::span<const std::string_view> modifiers;
  std::span<const std::string_view> keywords;
  bool leading_space;
};

// From `line`, the longest run of space and "<modifier><space>" words. The
// keyword can only stand where it ends (no modifier begins with a keyword),
// and every later line starting inside the run would read the same words up
// to the same keyword, so a failure there is a failure for all of them.
size_t modifier_run_end(std::string_view text, size_t line, const SwiftDeclaration& rule) {
  size_t pos = rule.leading_space ? skip_space(text, line) : line;
  for (bool advanced = true; advanced;) {
    advanced = false;
    for (std::string_view word : rule.modifiers) {
      if (text.substr(pos).starts_with(word) && space_length_at(text, pos + word.size()) > 0) {
        pos = skip_space(text, pos + word.size());
        advanced = true;
        break;
      }
    }
  }
  return pos;
}

LineAttempt plan_swift_attempt(std::string_view text, size_t line, const SwiftDeclaration& rule) {
  size_t run_end = modifier_run_end(text, line, rule);
  size_t end = run_end;
  for (std::string_view keyword : rule.keywords) {
    if (text.substr(run_end).starts_with(keyword)) {
      end = name_run_end(text, skip_space(text, run_end + keyword.size()));
      break;
    }
  }
  return {std::min(end + 1, text.size()), run_end};
}

// The first ")" at or after a position, for positions asked in increasing
// order: one pass over the text in all.
class NextCloseParen {
 public:
  explicit NextCloseParen(std::string_view text) : text_(text) {}
  size_t at_or_after(size_t pos) {
    if (!known_ || (found_ != std::string_view::npos && found_ < pos)) {
      found_ = text_.find(')', pos);
      known_ = true;
    }
    return found_;
  }

 private:
  std::string_view text_;
  size_t found_ = std::string_view::npos;
  bool known_ = false;
};

// The Go pattern reads "func", space, then either a name or a receiver "("
// up to the first ")" (across lines), space and the name. The receiver is
// shown to the pattern only when an upper-case name really follows it; when
// none does, neither reading can match and the stretch stops at the "(".
LineAttempt plan_go_attempt(std::string_view text, size_t line, NextCloseParen& close_paren) {
  constexpr std::string_view kFunc = "func";
  if (!text.substr(line).starts_with(kFunc)) return {line + 1, line};
  size_t after_func = line + kFunc.size();
  size_t name = skip_space(text, after_func);
  if (name < text.size() && name > after_func && text[name] == '(') {
    size_t close = close_paren.at_or_after(name + 1);
    if (close == std::string_view::npos || close == name + 1) return {name + 1, line};
    size_t method = skip_space(text, close + 1);
    bool upper = method < text.size() && text[method] >= 'A' && text[method] <= 'Z';
    if (method == close + 1 || !upper) return {name + 1, line};
    name = method;
  }
  return {std::min(name_run_end(text, name) + 1, text.size()), line};
}

void offer_swift_names(std::string_view content, KeywordList& list) {
  const KeywordPatterns& p = keyword_patterns();
  const SwiftDeclaration types{kSwiftTypeModifiers, kSwiftTypeKeywords, /*leading_space=*/false};
  const SwiftDeclaration funcs{kSwiftFuncModifiers, kSwiftFuncKeywords, /*leading_space=*/true};
  offer_line_anchored_names(
      p.swift_type, content, [&](size_t line) { return plan_swift_attempt(content, line, types); }, list);
  offer_line_anchored_names(
      p.swift_func, content, [&](size_t line) { return plan_swift_attempt(content, line, funcs); }, list);
}

void offer_go_names(std::string_view content, KeywordList& list) {
  NextCloseParen close_paren(content);
  offer_line_anchored_names(
      keyword_patterns().go_exported_func, content,
      [&](size_t line) { return plan_go_attempt(content, line, close_paren); }, list);
}

void offer_js_names(std::string_view content, KeywordList& list) {
  const KeywordPatterns& p = keyword_patterns();
  offer_group_names(p.js_declaration, content, list);
  for (const RegexMatch& m : p.js_export_list.find_all(content).matches) {
    if (list.full()) return;
    for (std::string_view piece : p.js_export_list_separator.split(m.group(1))) {
      std::string_view name = common::trim(piece);
      if (!name.empty()) list.offer_name(name);
    }
  }
}

// Public Python definitions, plus the words of snake_case names.
void offer_py_names(std::string_view content, KeywordList& list) {
  for (const RegexMatch& m : keyword_patterns().py_declaration.find_all(content).matches) {
    if (list.full()) return;
    std::string_view name = m.group_or(1, 2);
    if (name.starts_with('_')) continue;
    list.offer_name(name);
    for (std::string_view part : split_at(name, '_')) list.offer_word(part);
  }
}

void offer_declared_names(std::string_view content, Language language, KeywordList& list) {
  const KeywordPatterns& p = keyword_patterns();
  if (language == Language::kTypeScript) {
    offer_js_names(content, list);
  } else if (language == Language::kPython) {
    offer_py_names(content, list);
  } else if (language == Language::kGo) {
    offer_go_names(content, list);
  } else if (language == Language::kSwift) {
    offer_swift_names(content, list);
  } else if (language == Language::kCSharp) {
    offer_group_names(p.cs_type, content, list);
    offer_group_names(p.cs_method, content, list);
  } else if (language == Language::kXaml) {
    offer_group_names(p.xaml_class, content, list);
    offer_group_names(p.xaml_name, content, list);
  }
}

// Words of four or more letters from a docstring or block comment that opens
// the file.
void offer_leading_docs(std::string_view content, KeywordList& list) {
  const KeywordPatterns& p = keyword_patterns();
  for (const Regex* opener : {&p.leading_docstring, &p.leading_block_comment}) {
    std::optional<RegexMatch> m = opener->match_at_start(content);
    if (!m) continue;
    for (const RegexMatch& word : p.doc_word.find_all(m->group(1)).matches) {
      list.offer_word(word.group(0));
    }
  }
}

// Host names give their first label and paths their segments, so
// fetch("https://api.shop.io/v1/orders") gives api and orders.
void offer_http_calls(std::string_view content, KeywordList& list) {
  const KeywordPatterns& p = keyword_patterns();
  for (const RegexMatch& m : p.http_call.find_all(content).matches) {
    if (list.full()) return;
    std::string target = remove_all(remove_all(m.group(1), "http://"), "https://");
    for (std::string_view segment : split_at(strip_char(target, '/'), '/')) {
      std::string cleaned = p.url_segment_noise.replace_all(segment, "");
      std::string_view label = std::string_view(cleaned).substr(0, cleaned.find('.'));
      if (common::code_point_count(label) >= kMinKeywordLength) list.offer_word(label);
    }
  }
}

}  // namespace

std::vector<std::string> extract_keywords(std::string_view content, std::string_view ext) {
  const KeywordPatterns& p = keyword_patterns();
  KeywordList list;
  offer_routes(p.route_registration, content, list);
  offer_routes(p.route_decorator, content, list);
  offer_declared_names(content, language_of(ext), list);
  offer_leading_docs(content, list);
  offer_http_calls(content, list);
  return list.take();
}

}  // namespace lumenfold::surveyor
