#include "lumenfold/tsl/query_mentions.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <unordered_set>

#include "lumenfold/common/regex.h"

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
    "Exception", "False",   "None",    "True",   "TypeError", "ValueError", "abs",      "all",     "and",     "any",
    "as",        "assert",  "async",   "await",  "bool",      "break",      "callable", "class",   "cls",     "def",
    "dict",      "dir",     "elif",    "else",   "enumerate", "except",     "filter",   "float",   "for",     "format",
    "from",      "getattr", "hasattr", "if",     "import",    "in",         "int",      "is",      "isinstance",
    "iter",      "lambda",  "len",     "list",   "map",       "max",        "min",      "not",     "object",
    "open",      "or",      "print",   "range",  "repr",      "return",     "self",     "setattr", "str",     "super"};

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

bool is_code_line(std::string_view line, bool in_fence) {
  if (in_fence) return true;
  if (line.starts_with("    ") || line.starts_with("\t") || line.starts_with(">>>") || line.starts_with("In [")) {
    return true;
  }
  for (std::string_view mark : {"()", " = ", "==", "):", "import ", "def ", "class ", "->", "self."}) {
    if (line.find(mark) != std::string_view::npos) return true;
  }
  return false;
}

// Whether the word at [s, e) of `line` is used as code where it stands.
bool used_as_code(std::string_view line, size_t s, size_t e) {
  if (e < line.size() && line[e] == '(') return true;
  if (s >= 2 && line[s - 1] == '.' && is_ident_char(line[s - 2])) return true;
  if (e + 1 < line.size() && line[e] == '.' && is_ident_start(line[e + 1])) return true;
  size_t ticks = std::count(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(s), '`');
  return ticks % 2 == 1;
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

  QueryMentions& out() { return out_; }

 private:
  QueryMentions out_;
  std::unordered_map<std::string, size_t> name_pos_;
  std::unordered_set<std::string> dotted_seen_;
};

const char* kExtensions = "py|pyi|js|jsx|ts|tsx|go|swift|cs|xaml|json|yaml|yml|md|php";

void collect_paths(std::string_view query, MentionCollector& c, std::vector<std::pair<size_t, size_t>>& spans) {
  static const common::Regex kPath(std::string(R"((?:[A-Za-z]:)?[\w.~\-/\\]*[\w\-]\.(?:)") + kExtensions +
                                   R"()(?![\w])(?::\d+)*)");
  static const common::Regex kFrameTail(R"(^"?(?:,\s*line\s+\d+,\s*in\s+|:?\s*in\s+)([A-Za-z_]\w*))");
  for (const common::RegexMatch& m : kPath.find_all(query).matches) {
    PathMention p{std::string(m.group(0)), ""};
    std::string_view tail = query.substr(m.end(), kFrameTailChars);
    if (auto f = kFrameTail.search(tail)) p.function = std::string(f->group(1));
    c.out().paths.push_back(std::move(p));
    spans.emplace_back(m.start(), m.end());
  }
}

bool inside(const std::vector<std::pair<size_t, size_t>>& spans, size_t pos) {
  for (const auto& [s, e] : spans) {
    if (pos >= s && pos < e) return true;
  }
  return false;
}

void collect_dotted(std::string_view query, MentionCollector& c, const std::vector<std::pair<size_t, size_t>>& spans) {
  static const common::Regex kDotted(R"((?<![\w./\\-])[A-Za-z_]\w*(?:\.[A-Za-z_]\w*)+)");
  for (const common::RegexMatch& m : kDotted.find_all(query).matches) {
    if (inside(spans, m.start())) continue;
    c.add_dotted(m.group(0));
  }
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
    size_t i = 0;
    while (i < line.size()) {
      if (!is_ident_start(line[i]) || (i > 0 && is_ident_char(line[i - 1]))) {
        ++i;
        continue;
      }
      size_t s = i;
      while (i < line.size() && is_ident_char(line[i])) ++i;
      std::string_view word = line.substr(s, i - s);
      double weight = 0;
      if (has_code_shape(word) || used_as_code(line, s, i)) {
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
  collect_names(query, c);
  QueryMentions out = std::move(c.out());
  std::erase_if(out.names, [](const NameMention& m) { return m.code_weight <= 0; });
  return out;
}

}  // namespace lumenfold::tsl
