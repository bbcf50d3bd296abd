// Per-file entry points of symbol extraction: which extractor a file gets,
// how a TS/JS function is typed from its name, and how descriptions become
// graph nodes with their "contains" edges.

#include "lumenfold/surveyor/symbols.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/syntax_facts.h"

namespace lumenfold::surveyor {
namespace {

// Function names that a framework treats as HTTP route handlers.
constexpr std::array<std::string_view, 7> kHttpMethodNames = {"GET",    "POST", "PUT",    "PATCH",
                                                              "DELETE", "HEAD", "OPTIONS"};

// React's convention: a hook is "use" followed by a capital letter.
constexpr std::string_view kHookPrefix = "use";

constexpr std::string_view kContainsRel = "contains";
constexpr std::string_view kSymbolKind = "symbol";

bool is_http_method_name(std::string_view name) {
  for (std::string_view method : kHttpMethodNames) {
    if (name == method) return true;
  }
  return false;
}

// Whether the code point at byte offset `pos` is an upper-case letter.
bool upper_at(std::string_view text, size_t pos) {
  if (pos >= text.size()) return false;
  return common::is_upper(common::decode_at(text, pos));
}

bool is_hook_name(std::string_view name) { return name.starts_with(kHookPrefix) && upper_at(name, kHookPrefix.size()); }

using Extractor = std::vector<SymbolDescription> (*)(std::string_view content, std::string_view file_id);

// The regular-expression extractor of `language`; nullptr for a language
// without one (a grammar may still read it).
Extractor extractor_for(Language language) {
  switch (language) {
    case Language::kTypeScript:
      return extract_symbols_ts;
    case Language::kPython:
      return extract_symbols_py;
    case Language::kCSharp:
      return extract_symbols_cs;
    case Language::kPhp:
      return extract_symbols_php;
    case Language::kGo:
    case Language::kC:
    case Language::kCpp:
    case Language::kRust:
    case Language::kJava:
    case Language::kKotlin:
    case Language::kRuby:
    case Language::kSwift:
    case Language::kXaml:
    case Language::kOther:
      return nullptr;
  }
  return nullptr;
}

}  // namespace

bool has_symbol_extractor(Language language) { return extractor_for(language) != nullptr || has_grammar(language); }

std::vector<SymbolDescription> extract_symbols_for_file(std::string_view content, std::string_view file_id,
                                                        std::string_view ext) {
  const Language language = language_of(ext);
  if (has_grammar(language)) return extract_symbols_syntax(content, file_id, language);
  const Extractor extract = extractor_for(language);
  if (extract == nullptr) return {};
  return extract(content, file_id);
}

std::pair<std::string, std::string> classify_ts(std::string_view name, bool exported) {
  auto result = [](std::string_view type, std::string_view confidence) {
    return std::make_pair(std::string(type), std::string(confidence));
  };
  if (is_http_method_name(name)) return result(kSymbolApiRoute, kConfidenceHigh);
  if (is_hook_name(name)) return result(kSymbolHook, kConfidenceHigh);
  if (!exported) return result(kSymbolUtility, kConfidenceMedium);
  // An exported capitalised function is usually a component or a class-like
  // factory rather than a use case, hence the lower confidence.
  if (upper_at(name, 0)) return result(kSymbolUseCase, kConfidenceMedium);
  return result(kSymbolUseCase, kConfidenceHigh);
}

void append_symbol_nodes(std::vector<Node>& nodes, std::vector<Edge>& edges, const std::vector<SymbolDescription>& syms,
                         std::string_view file_id, std::string_view ext) {
  for (const SymbolDescription& sym : syms) {
    Node node;
    node.id = sym.id;
    node.kind = kSymbolKind;
    node.path = file_id;
    node.ext = ext;
    node.size = sym.line_end - sym.line_start + 1;
    node.keywords = sym.keywords;
    node.symbol_type = sym.symbol_type;
    node.name = sym.name;
    node.line_start = sym.line_start;
    node.line_end = sym.line_end;
    node.body_hash = sym.body_hash;
    node.confidence = sym.confidence;
    node.exported = sym.exported;
    nodes.push_back(std::move(node));
    edges.push_back(Edge{std::string(file_id), sym.id, std::string(kContainsRel)});
  }
}

}  // namespace lumenfold::surveyor
