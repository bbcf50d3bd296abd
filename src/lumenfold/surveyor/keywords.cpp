#include "lumenfold/surveyor/keywords.h"

#include <cstddef>
#include <string>
#include <unordered_set>

#include "lumenfold/common/regex.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/symbols.h"

// File keywords come from six sources, tried in a fixed order: route
// registrations, route decorators, declared names (per language), the
// leading documentation block and outgoing HTTP calls. The order matters
// because the list keeps the first 80 distinct words, so the most telling
// sources come first.

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
      R"((?:app|router|r|mux|api)\s*[.\@]\s*(get|post|put|delete|patch|handle|handlefunc)\s*\(\s*['"/]([^'")\s]+))",
      common::kRegexCaseless};
  // Routes declared by decorators: @app.get("/users").
  Regex route_decorator{R"(@\w+\.(get|post|put|delete|patch)\s*\(\s*[\'"]([^\'"]+)[\'"])",
                        common::kRegexCaseless};
  Regex route_segment_noise{R"([{}:<>])"};

  Regex js_declaration{
      R"(export\s+(?:default\s+)?(?:async\s+)?(?:function|class|const|type|interface|enum)\s+([A-Za-z_]\w*))"};
  Regex js_export_list{R"(export\s*\{([^}]+)\})"};
  Regex js_export_list_separator{R"([,\s]+)"};
  Regex py_declaration{R"(^(?:async\s+)?def\s+([A-Za-z_]\w*)|^class\s+([A-Za-z_]\w*))",
                       common::kRegexMultiline};
  Regex go_exported_func{R"(^func\s+(?:\([^)]+\)\s+)?([A-Z]\w*))", common::kRegexMultiline};
  Regex swift_type{
      R"(^(?:public\s+|private\s+|internal\s+|open\s+|final\s+)*(?:class|struct|enum|protocol|actor|extension)\s+([A-Za-z_]\w*))",
      common::kRegexMultiline};
  Regex swift_func{
      R"(^(?:\s*)(?:public\s+|private\s+|internal\s+|open\s+|static\s+|class\s+|mutating\s+|override\s+)*func\s+([A-Za-z_]\w*))",
      common::kRegexMultiline};
  Regex cs_type{
      R"((?:public|private|protected|internal)\s+(?:(?:static|abstract|sealed|partial|new|override|virtual|extern|unsafe)\s+)*(?:class|interface|enum|struct|record)\s+([A-Za-z_]\w*))"};
  Regex cs_method{
      R"((?:public|private|protected|internal)\s+(?:static\s+)?(?:async\s+)?(?:virtual\s+|override\s+)?(?!class|if|for|while|return)[\w<>\[\]?]+\s+([A-Za-z_]\w*)\s*\()"};
  Regex xaml_class{R"(x:Class="[\w.]*\.([A-Za-z_]\w*)")"};
  Regex xaml_name{R"(x:Name="([A-Za-z_]\w*)")"};

  Regex leading_docstring{R"(\s*"""([^"]{10,200}))"};
  Regex leading_block_comment{R"(\s*/\*\*?\s*([^\n*]{10,200}))"};
  Regex doc_word{R"([a-zA-Z]{4,})"};

  Regex http_call{
      R"((?:fetch|axios\.(?:get|post|put|delete)|requests\.(?:get|post|put|delete))\s*\(\s*[`'"](https?://[^`'"]+|/[^`'"]+)[`'"])",
      common::kRegexCaseless};
  Regex url_segment_noise{R"([{}?=&<>])"};
};

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
  for (size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, begin)) {
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

void offer_declared_names(std::string_view content, std::string_view ext, KeywordList& list) {
  const KeywordPatterns& p = keyword_patterns();
  if (ext == ".ts" || ext == ".tsx" || ext == ".js" || ext == ".jsx") {
    offer_js_names(content, list);
  } else if (ext == ".py") {
    offer_py_names(content, list);
  } else if (ext == ".go") {
    offer_group_names(p.go_exported_func, content, list);
  } else if (ext == ".swift") {
    offer_group_names(p.swift_type, content, list);
    offer_group_names(p.swift_func, content, list);
  } else if (ext == ".cs") {
    offer_group_names(p.cs_type, content, list);
    offer_group_names(p.cs_method, content, list);
  } else if (ext == ".xaml") {
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
  offer_declared_names(content, ext, list);
  offer_leading_docs(content, list);
  offer_http_calls(content, list);
  return list.take();
}

}  // namespace lumenfold::surveyor
