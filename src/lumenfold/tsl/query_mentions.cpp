#include "lumenfold/tsl/query_mentions.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "lumenfold/common/regex.h"
#include "lumenfold/tsl/tokenizer.h"

namespace lumenfold::tsl {
namespace {

// How surely a name is code, by the evidence found (see NameMention).
constexpr double kWrittenAsCode = 1.0;
constexpr double kInCodeLine = 0.5;
// A capitalised word inside a sentence is often a class name ("the Media
// class"), but as often a product or a person.
constexpr double kCapitalisedInProse = 0.3;

// How far after a path a frame's ", line N, in NAME" may start.
constexpr size_t kFrameTailChars = 40;

// Names that every Python snippet calls or writes; a project that happens
// to define one of them is not what the query is about.
constexpr std::string_view kCommonNames[] = {
    "Exception", "False",    "None",       "True",   "TypeError", "ValueError", "abs",       "all",      "and",
    "any",       "as",       "assert",     "async",  "await",     "bool",       "break",     "callable", "class",
    "cls",       "def",      "dict",       "dir",    "elif",      "else",       "enumerate", "except",   "filter",
    "float",     "for",      "format",     "from",   "getattr",   "hasattr",    "if",        "import",   "in",
    "int",       "is",       "isinstance", "iter",   "lambda",    "len",        "list",      "map",      "max",
    "min",       "not",      "object",     "open",   "or",        "print",      "range",     "repr",     "return",
    "self",      "setattr",  "str",        "super",  "pass",      "raise",      "try",       "while",    "with",
    "yield",     "continue", "del",        "global", "nonlocal"};

bool is_common_name(std::string_view name) {
  return std::find(std::begin(kCommonNames), std::end(kCommonNames), name) != std::end(kCommonNames);
}

bool is_ident_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_ident_char(char c) { return is_ident_start(c) || (c >= '0' && c <= '9'); }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

// Shapes only code has: an inner "_", a leading "__", a lower-to-upper
// step (camelCase), or two capitals with lower-case letters (QuerySet).
bool has_code_shape(std::string_view w) {
  if (w.starts_with("__")) return true;
  size_t b = w.find_first_not_of('_');
  size_t e = w.find_last_not_of('_');
  if (b != std::string_view::npos && w.substr(b, e - b + 1).find('_') != std::string_view::npos) return true;
  int upper = 0;
  bool lower = false;
  for (size_t i = 0; i < w.size(); ++i) {
    if (is_upper(w[i])) {
      ++upper;
      if (i > 0 && (is_lower(w[i - 1]) || (w[i - 1] >= '0' && w[i - 1] <= '9'))) return true;
    } else if (is_lower(w[i])) {
      lower = true;
    }
  }
  return upper >= 2 && lower;
}

bool is_capitalised_word(std::string_view w) {
  return w.size() >= 3 && is_upper(w[0]) && std::any_of(w.begin() + 1, w.end(), is_lower);
}

// Whether the line reads as English: enough words, a fair share of them
// function words. Such a line is prose even when it holds "()" or starts
// indented.
bool reads_as_prose(std::string_view line) {
  static constexpr double kMinFunctionWordShare = 0.2;
  static constexpr int kMinWords = 5;
  int words = 0;
  int function_words = 0;
  size_t i = 0;
  while (i < line.size()) {
    if (!is_ident_start(line[i])) {
      ++i;
      continue;
    }
    size_t s = i;
    while (i < line.size() && is_ident_char(line[i])) ++i;
    ++words;
    if (is_stop_term(ascii_lower(line.substr(s, i - s)))) ++function_words;
  }
  return words >= kMinWords && function_words >= kMinFunctionWordShare * words;
}

bool is_code_line(std::string_view line, bool in_fence) {
  if (in_fence) return true;
  std::string_view body = line.substr(std::min(line.size(), line.find_first_not_of(" \t")));
  if (body.starts_with(">>>") || body.starts_with("In [") || body.starts_with("...")) return true;
  if (reads_as_prose(body)) return false;
  if (line.starts_with("    ") || line.starts_with("\t")) return true;
  for (std::string_view mark : {"()", " = ", "==", "):", "import ", "def ", "class ", "->", "self."}) {
    if (line.find(mark) != std::string_view::npos) return true;
  }
  return false;
}

// Whether the word at [s, e) of `line` is used as code where it stands;
// `inside_ticks`: an odd number of "`" precede it on the line.
bool used_as_code(std::string_view line, size_t s, size_t e, bool inside_ticks) {
  if (e < line.size() && line[e] == '(') return true;
  if (s >= 2 && line[s - 1] == '.' && is_ident_char(line[s - 2])) return true;
  if (e + 1 < line.size() && line[e] == '.' && is_ident_start(line[e + 1])) return true;
  return inside_ticks;
}

// Whether the word at `s` opens a sentence (a capital there says nothing).
bool starts_sentence(std::string_view line, size_t s) {
  size_t i = s;
  while (i > 0 && (line[i - 1] == ' ' || line[i - 1] == '\t' || line[i - 1] == '"' || line[i - 1] == '\'')) --i;
  return i == 0 || line[i - 1] == '.' || line[i - 1] == '!' || line[i - 1] == '?' || line[i - 1] == ':';
}

class MentionCollector {
 public:
  void add_name(std::string_view name, double weight) {
    if (name.size() < 2 || is_common_name(name)) return;
    auto [it, added] = name_pos_.emplace(std::string(name), out_.names.size());
    if (added) out_.names.push_back({std::string(name), 0, 0});
    NameMention& m = out_.names[it->second];
    m.code_weight = std::max(m.code_weight, weight);
    ++m.count;
  }

  void add_dotted(std::string_view dotted) {
    if (dotted_seen_.insert(std::string(dotted)).second) out_.dotted.emplace_back(dotted);
  }

  // A name the query's own code declares is the user's, whatever else
  // it is called.
  void add_declared(std::string_view name) { declared_.insert(std::string(name)); }

  QueryMentions take() {
    std::erase_if(out_.names, [&](const NameMention& m) { return m.code_weight <= 0 || declared_.count(m.name) > 0; });
    return std::move(out_);
  }

  QueryMentions& out() { return out_; }

 private:
  QueryMentions out_;
  std::unordered_map<std::string, size_t> name_pos_;
  std::unordered_set<std::string> dotted_seen_;
  std::unordered_set<std::string> declared_;
};

const char* kExtensions = "py|pyi|js|jsx|ts|tsx|go|swift|cs|xaml|json|yaml|yml|md|php";

void collect_paths(std::string_view query, MentionCollector& c, std::vector<std::pair<size_t, size_t>>& spans) {
  static const common::Regex kPath(std::string(R"((?:[A-Za-z]:)?[\w.~\-/\\]*[\w\-]\.(?:)") + kExtensions +
                                   R"()(?![\w])(?::\d+)*)");
  static const common::Regex kFrameTail(R"(^"?(?:,\s*line\s+\d+,\s*in\s+|:?\s*in\s+)([A-Za-z_]\w*))");
  const size_t first_line_end = query.find('\n');
  for (const common::RegexMatch& m : kPath.find_all(query).matches) {
    PathMention p{std::string(m.group(0)), "", m.start() < first_line_end};
    std::string_view tail = query.substr(m.end(), kFrameTailChars);
    if (auto f = kFrameTail.search(tail)) p.function = std::string(f->group(1));
    c.out().paths.push_back(std::move(p));
    spans.emplace_back(m.start(), m.end());
  }
}

// `spans` are ordered and disjoint (matches of one left-to-right scan), so
// only the last span starting at or before `pos` can hold it.
bool inside(const std::vector<std::pair<size_t, size_t>>& spans, size_t pos) {
  auto after = std::upper_bound(spans.begin(), spans.end(), pos,
                                [](size_t p, const std::pair<size_t, size_t>& span) { return p < span.first; });
  return after != spans.begin() && pos < std::prev(after)->second;
}

void collect_dotted(std::string_view query, MentionCollector& c, const std::vector<std::pair<size_t, size_t>>& spans) {
  static const common::Regex kDotted(R"((?<![\w./\\-])[A-Za-z_]\w*(?:\.[A-Za-z_]\w*)+)");
  for (const common::RegexMatch& m : kDotted.find_all(query).matches) {
    if (inside(spans, m.start())) continue;
    c.add_dotted(m.group(0));
  }
}

// "from a.b import C, d as e" names a.b.C and a.b.d: the imported names
// are what the snippet is about, and their module says where they live.
void collect_imports(std::string_view query, MentionCollector& c) {
  static const common::Regex kFromImport(R"(^[\s>.]*from\s+([A-Za-z_][\w.]*)\s+import\s+\(?([\w ,]+))",
                                         common::kRegexMultiline);
  static const common::Regex kImported(R"(([A-Za-z_]\w*)(?:\s+as\s+\w+)?)");
  for (const common::RegexMatch& m : kFromImport.find_all(query).matches) {
    std::string module(m.group(1));
    for (const common::RegexMatch& name : kImported.find_all(m.group(2)).matches) {
      c.add_dotted(module + "." + std::string(name.group(1)));
    }
  }
}

// Whether the word at `s` is being declared ("class Foo", "def foo"): the
// query's own code, not the project's.
bool declared_here(std::string_view line, size_t s) {
  std::string_view before = line.substr(0, s);
  while (!before.empty() && (before.back() == ' ' || before.back() == '\t')) before.remove_suffix(1);
  for (std::string_view keyword : {"class", "def", "function"}) {
    if (before.ends_with(keyword) &&
        (before.size() == keyword.size() || !is_ident_char(before[before.size() - keyword.size() - 1]))) {
      return true;
    }
  }
  return false;
}

void collect_names(std::string_view query, MentionCollector& c) {
  bool in_fence = false;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('\n', start);
    if (end == std::string_view::npos) end = query.size();
    std::string_view line = query.substr(start, end - start);
    start = end + 1;
    if (line.find("```") != std::string_view::npos) {
      in_fence = !in_fence;
      continue;
    }
    bool code_line = is_code_line(line, in_fence);
    // Counted as the scan passes them: recounting from the line's start
    // for each word would cost the square of a long line.
    size_t ticks = 0;
    size_t i = 0;
    while (i < line.size()) {
      if (!is_ident_start(line[i]) || (i > 0 && is_ident_char(line[i - 1]))) {
        if (line[i] == '`') ++ticks;
        ++i;
        continue;
      }
      size_t s = i;
      while (i < line.size() && is_ident_char(line[i])) ++i;
      std::string_view word = line.substr(s, i - s);
      if (declared_here(line, s)) {
        c.add_declared(word);
        continue;
      }
      double weight = 0;
      if (has_code_shape(word) || used_as_code(line, s, i, ticks % 2 == 1)) {
        weight = kWrittenAsCode;
      } else if (code_line) {
        weight = kInCodeLine;
      } else if (is_capitalised_word(word) && !starts_sentence(line, s)) {
        weight = kCapitalisedInProse;
      }
      c.add_name(word, weight);
    }
  }
}

}  // namespace

QueryMentions find_mentions(std::string_view query) {
  MentionCollector c;
  std::vector<std::pair<size_t, size_t>> spans;
  collect_paths(query, c, spans);
  collect_dotted(query, c, spans);
  collect_imports(query, c);
  collect_names(query, c);
  return c.take();
}

}  // namespace lumenfold::tsl
