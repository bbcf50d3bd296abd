#pragma once
// Symbol extraction: named functions, classes, types and schemas found by
// regular expressions over a file's text, or in its syntax tree for the
// languages a grammar reads, with 0-based inclusive line ranges and a short
// hash of their lines.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lumenfold/surveyor/language.h"
#include "lumenfold/surveyor/node.h"

namespace lumenfold::surveyor {

struct SymbolDescription {
  std::string id;  // file id + "::" + name
  std::string name;
  std::string symbol_type;  // api_route, hook, utility, use_case, model
  int64_t line_start = 0;
  int64_t line_end = 0;
  std::string body_hash;
  std::string confidence;  // "high" or "medium"
  bool exported = false;
  std::vector<std::string> keywords;
};

// The values of SymbolDescription::symbol_type and ::confidence.
inline constexpr std::string_view kSymbolApiRoute = "api_route";
inline constexpr std::string_view kSymbolHook = "hook";
inline constexpr std::string_view kSymbolUtility = "utility";
inline constexpr std::string_view kSymbolUseCase = "use_case";
inline constexpr std::string_view kSymbolModel = "model";
inline constexpr std::string_view kConfidenceHigh = "high";
inline constexpr std::string_view kConfidenceMedium = "medium";

// Whether files of `language` get symbols: TypeScript/JavaScript, Python,
// C# and PHP through regular expressions, Go, C and C++ through their
// grammar (syntax_facts.h).
bool has_symbol_extractor(Language language);

// Dispatches on language_of(ext), `ext` being the lower-cased extension: a
// language without an extractor yields nothing. `content` is the full
// decoded text.
std::vector<SymbolDescription> extract_symbols_for_file(std::string_view content, std::string_view file_id,
                                                        std::string_view ext);

std::vector<SymbolDescription> extract_symbols_ts(std::string_view content, std::string_view file_id);
std::vector<SymbolDescription> extract_symbols_py(std::string_view content, std::string_view file_id);
std::vector<SymbolDescription> extract_symbols_cs(std::string_view content, std::string_view file_id);
std::vector<SymbolDescription> extract_symbols_php(std::string_view content, std::string_view file_id);

// (symbol type, confidence) of a TS/JS function.
std::pair<std::string, std::string> classify_ts(std::string_view name, bool exported);

// Last line of the block starting at line `start`. Braces: the first line
// where every brace opened so far is closed again ("\{" and "\}" do not
// count), looking at most 400 lines ahead, else start + 100 capped at the
// last line. Indentation: the last non-blank line before the next def,
// class or decorator at the same or a lower indentation.
size_t find_block_end_ts(const std::vector<std::string_view>& lines, size_t start);
size_t find_block_end_py(const std::vector<std::string_view>& lines, size_t start);

// Short hash of lines start..end joined by "\n".
std::string body_hash(const std::vector<std::string_view>& lines, size_t start, size_t end);

std::vector<std::string> split_camel(std::string_view name);
std::vector<std::string> name_keywords(std::string_view name);

// Appends one symbol node and then its "contains" edge per description.
void append_symbol_nodes(std::vector<Node>& nodes, std::vector<Edge>& edges, const std::vector<SymbolDescription>& syms,
                         std::string_view file_id, std::string_view ext);

}  // namespace lumenfold::surveyor
