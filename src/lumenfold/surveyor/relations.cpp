#include "lumenfold/surveyor/relations.h"

#include <optional>
#include <string>

#include "lumenfold/common/regex.h"
#include "lumenfold/surveyor/file_id.h"
#include "lumenfold/surveyor/language.h"
#include "lumenfold/surveyor/reference_paths.h"
#include "lumenfold/surveyor/syntax_facts.h"

// Relations are read straight off the text, language-blind for the most
// part: a Python "from x import y" rule also runs over a Markdown file, and
// one line may feed several rules. Targets stay as written (a package, a
// relative path, a class name); nothing is resolved, and duplicates are left
// for the scan to merge.

namespace lumenfold::surveyor {

namespace {

using common::Regex;
using common::RegexMatch;

constexpr std::string_view kImports = "imports";
constexpr std::string_view kRequires = "requires";
constexpr std::string_view kReferences = "references";

struct RelationPatterns {
  // import "fmt", and the first entry of import ( "fmt" ... ).
  Regex quoted_import{R"re(import\s+\(?\s*"([^"]+)")re"};
  // import x from 'y' on one line (the spaces around may span lines).
  Regex es_import{R"re(import\s+.*?\s+from\s+[\'"]([^\'"]+)[\'"])re"};
  Regex require_call{R"re(require\([\'"]([^\'"]+)[\'"]\))re"};
  Regex dotted_import{R"re(^\s*import\s+([a-zA-Z0-9_\.]+))re", common::kRegexMultiline};
  Regex from_import{R"re(^\s*from\s+([a-zA-Z0-9_\.]+)\s+import\s+)re", common::kRegexMultiline};
  Regex swift_import{R"re(^import\s+([A-Za-z_]\w*))re", common::kRegexMultiline};
  Regex cs_using{R"re(^using\s+([\w.]+))re", common::kRegexMultiline};
  Regex xaml_class{R"re(x:Class="([\w.]+)")re"};
};

// Compiled once, on first use; never changed afterwards.
const RelationPatterns& relation_patterns() {
  static const RelationPatterns patterns;
  return patterns;
}

// One edge per match, to group 1. A search cut short by the engine's
// backtracking limit keeps what it found before the limit.
void add_matches(const Regex& re, std::string_view text, const std::string& from, std::string_view rel,
                 std::vector<Edge>& edges) {
  for (const RegexMatch& m : re.find_all(text).matches) {
    edges.push_back(Edge{from, std::string(m.group(1)), std::string(rel)});
  }
}

}  // namespace

std::vector<Edge> parse_relations(const std::filesystem::path& path, std::string_view text,
                                  const std::filesystem::path& root) {
  return parse_relations_from(rel(path, root), path, text);
}

std::vector<Edge> parse_relations_from(const std::string& from, const std::filesystem::path& path,
                                       std::string_view text) {
  const Language language = language_of(extension_of(path));
  return parse_relations_from(from, path, text,
                              import_source(language) != ImportSource::kPatterns
                                  ? extract_imports_syntax(text, language)
                                  : std::vector<std::string>{});
}

std::vector<Edge> parse_relations_from(const std::string& from, const std::filesystem::path& path,
                                       std::string_view text, const std::vector<std::string>& syntax_imports) {
  const RelationPatterns& p = relation_patterns();
  // Case-sensitive on purpose: View.SWIFT is scanned but gets no Swift rules.
  const Language language = language_of(extension_of(path));
  std::vector<Edge> edges;

  // A parsed language's imports come from its syntax tree (every entry of a
  // Go import block, each #include); the quoted-import rule stays for the
  // rest, Swift included.
  const ImportSource imports = import_source(language);
  if (imports == ImportSource::kPatterns) {
    add_matches(p.quoted_import, text, from, kImports, edges);
  } else {
    for (const std::string& target : syntax_imports) edges.push_back(Edge{from, target, std::string(kImports)});
  }
  if (imports != ImportSource::kTree) {
    add_matches(p.es_import, text, from, kImports, edges);
    add_matches(p.require_call, text, from, kRequires, edges);
    add_matches(p.dotted_import, text, from, kImports, edges);
    add_matches(p.from_import, text, from, kImports, edges);
  }
  if (language == Language::kSwift) add_matches(p.swift_import, text, from, kImports, edges);
  if (language == Language::kCSharp) add_matches(p.cs_using, text, from, kImports, edges);
  if (language == Language::kXaml) {
    // A XAML file declares one code-behind class; later mentions are not it.
    if (std::optional<RegexMatch> m = p.xaml_class.search(text)) {
      edges.push_back(Edge{from, std::string(m->group(1)), std::string(kReferences)});
    }
  }
  // Bare names such as README.md are too ambiguous to count as a reference.
  for (std::string_view mention : find_reference_paths(text)) {
    if (mention.find('/') != std::string_view::npos) {
      edges.push_back(Edge{from, std::string(mention), std::string(kReferences)});
    }
  }
  return edges;
}

}  // namespace lumenfold::surveyor
