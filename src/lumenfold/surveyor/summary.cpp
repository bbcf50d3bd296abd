#include "lumenfold/surveyor/summary.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "lumenfold/common/regex.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/language.h"

// A summary reads "<sentence>. Contains N functions/classes: a, b, ...".
// The sentence is the file's own description when it has one (a docstring,
// a leading block comment, or failing those its first substantial line);
// only a file with none is described by its path ("Handles auth login.").

namespace lumenfold::surveyor {

namespace {

using common::Regex;
using common::RegexMatch;

// Long enough for one descriptive sentence, short enough to list many files.
constexpr size_t kMaxSentenceChars = 120;
// The whole summary: a sentence plus the list of names.
constexpr size_t kMaxSummaryChars = 250;
// Lines shorter than this ("#!", "//", "---") say nothing about the file.
constexpr size_t kMinLineSentenceChars = 10;
// Only the top of a file is looked at for a descriptive line.
constexpr size_t kSentenceLinesLooked = 5;
// Names collected for the "Contains" part; four are shown, a fifth means "...".
constexpr size_t kMaxNames = 5;
constexpr size_t kShownNames = 4;

// Path pieces too generic to say what a file is about.
constexpr std::array<std::string_view, 6> kGenericPathPieces = {"src", "lib", "app", "pkg", "main", "index"};

struct SummaryPatterns {
  Regex py_docstring{R"re(^\s*(?:\'\'\'|""")([^\'\"]{8,200}?)(?:\'\'\'|"""))re", common::kRegexDotAll};
  Regex js_doc_comment{R"re(\s*/\*\*?\s*(.*?)\*/)re", common::kRegexDotAll};
  Regex whitespace_run{R"re(\s+)re"};

  Regex py_names{R"re(^(?:async\s+)?def\s+([A-Za-z_]\w*)|^class\s+([A-Za-z_]\w*))re", common::kRegexMultiline};
  Regex js_names{R"re((?:export\s+)?(?:async\s+)?function\s+([A-Za-z_]\w*)|(?:export\s+)?class\s+([A-Za-z_]\w*))re",
                 common::kRegexMultiline};
  Regex cs_names{R"re((?:class|interface|enum|struct|record)\s+([A-Za-z_]\w*))re"};
  Regex xaml_class{R"re(x:Class="[\w.]*\.([A-Za-z_]\w*)")re"};
  Regex xaml_name{R"re(x:Name="([A-Za-z_]\w*)")re"};

  Regex path_separator{R"re([/\\])re"};
  Regex trailing_extension{R"re(\.\w+$)re"};
};

// Compiled once, on first use; never changed afterwards.
const SummaryPatterns& summary_patterns() {
  static const SummaryPatterns patterns;
  return patterns;
}

std::string_view strip_leading(std::string_view text, char c) {
  while (!text.empty() && text.front() == c) text.remove_prefix(1);
  return text;
}

// Whitespace runs become single spaces, the ends are trimmed and the result
// is cut to sentence length.
std::string tidy_sentence(std::string_view raw) {
  std::string collapsed = summary_patterns().whitespace_run.replace_all(raw, " ");
  return std::string(common::cut_code_points(common::trim(collapsed), kMaxSentenceChars));
}

std::string doc_comment_sentence(std::string_view content, Language language) {
  const SummaryPatterns& p = summary_patterns();
  if (language == Language::kPython) {
    if (std::optional<RegexMatch> m = p.py_docstring.search(content)) {
      return tidy_sentence(m->group(1));
    }
  } else if (language == Language::kTypeScript) {
    if (std::optional<RegexMatch> m = p.js_doc_comment.match_at_start(content)) {
      std::string body(m->group(1));
      std::erase(body, '*');
      return tidy_sentence(body);
    }
  }
  return "";
}

// The first of the top lines that still says something once comment and
// heading markers are gone.
std::string first_line_sentence(std::string_view content) {
  std::vector<std::string_view> lines = common::split_lines(content);
  size_t looked = std::min(lines.size(), kSentenceLinesLooked);
  for (size_t i = 0; i < looked; ++i) {
    std::string_view line = common::trim(lines[i]);
    line = common::trim(strip_leading(strip_leading(line, '#'), '/'));
    if (common::code_point_count(line) >= kMinLineSentenceChars) {
      return std::string(common::cut_code_points(line, kMaxSentenceChars));
    }
  }
  return "";
}

std::string find_sentence(std::string_view content, Language language) {
  std::string sentence = doc_comment_sentence(content, language);
  if (sentence.empty()) sentence = first_line_sentence(content);
  return sentence;
}

// Distinct declared names in order of appearance, at most kMaxNames.
class NameList {
 public:
  bool full() const { return names_.size() >= kMaxNames; }
  void add(std::string_view name) {
    if (full() || name.empty()) return;
    if (std::find(names_.begin(), names_.end(), name) != names_.end()) return;
    names_.emplace_back(name);
  }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

void add_names(const Regex& re, std::string_view content, NameList& list, bool skip_private) {
  for (const RegexMatch& m : re.find_all(content).matches) {
    if (list.full()) return;
    std::string_view name = m.group_or(1, 2);
    if (skip_private && name.starts_with('_')) continue;
    list.add(name);
  }
}

std::vector<std::string> collect_names(std::string_view content, Language language) {
  const SummaryPatterns& p = summary_patterns();
  NameList list;
  if (language == Language::kPython) {
    add_names(p.py_names, content, list, /*skip_private=*/true);
  } else if (language == Language::kTypeScript) {
    add_names(p.js_names, content, list, /*skip_private=*/false);
  } else if (language == Language::kCSharp) {
    add_names(p.cs_names, content, list, /*skip_private=*/false);
  } else if (language == Language::kXaml) {
    // One x:Class per file; only its first declaration counts.
    if (std::optional<RegexMatch> m = p.xaml_class.search(content)) list.add(m->group(1));
    add_names(p.xaml_name, content, list, /*skip_private=*/false);
  }
  return list.names();
}

// "src/auth/login_handler.py" gives "auth login handler": the last two
// non-generic path pieces, with separators turned into spaces and the
// extension dropped.
std::string path_domain(std::string_view path) {
  const SummaryPatterns& p = summary_patterns();
  std::vector<std::string_view> pieces;
  for (std::string_view piece : p.path_separator.split(path)) {
    if (!piece.empty() && piece != ".") pieces.push_back(piece);
  }
  std::vector<std::string_view> specific;
  for (std::string_view piece : pieces) {
    std::string lowered = common::to_lower(piece);
    bool generic = std::find(kGenericPathPieces.begin(), kGenericPathPieces.end(), lowered) != kGenericPathPieces.end();
    if (!generic) specific.push_back(piece);
  }
  std::string domain;
  if (!specific.empty()) {
    size_t first = specific.size() >= 2 ? specific.size() - 2 : 0;
    for (size_t i = first; i < specific.size(); ++i) {
      if (!domain.empty()) domain += ' ';
      domain += specific[i];
    }
    std::replace(domain.begin(), domain.end(), '_', ' ');
    std::replace(domain.begin(), domain.end(), '-', ' ');
  } else if (!pieces.empty()) {
    domain = pieces.back();
  }
  return std::string(common::trim(p.trailing_extension.replace_all(domain, "")));
}

std::string names_part(const std::vector<std::string>& names) {
  std::string part =
      "Contains " + std::to_string(names.size()) + (names.size() == 1 ? " function: " : " functions/classes: ");
  for (size_t i = 0; i < names.size() && i < kShownNames; ++i) {
    if (i > 0) part += ", ";
    part += names[i];
  }
  if (names.size() > kShownNames) part += ", ...";
  part += ".";
  return part;
}

}  // namespace

std::string make_summary(std::string_view content, std::string_view path, std::string_view ext) {
  const Language language = language_of(ext);
  std::string sentence = find_sentence(content, language);
  std::vector<std::string> names = collect_names(content, language);

  std::vector<std::string> parts;
  if (!sentence.empty()) {
    std::string_view bare = sentence;
    while (!bare.empty() && bare.back() == '.') bare.remove_suffix(1);
    parts.push_back(std::string(bare) + ".");
  } else if (std::string domain = path_domain(path); !domain.empty()) {
    parts.push_back("Handles " + domain + ".");
  }
  if (!names.empty()) parts.push_back(names_part(names));

  std::string summary;
  for (const std::string& part : parts) {
    if (!summary.empty()) summary += ' ';
    summary += part;
  }
  return std::string(common::cut_code_points(summary, kMaxSummaryChars));
}

}  // namespace lumenfold::surveyor
