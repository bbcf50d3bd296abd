// The scanner's per-file work: symbols, relations, keywords and summary.
// The first input byte picks the file's extension, the rest is its text,
// made valid UTF-8 with normalised line breaks as the scanner reads files.
// Symbols lie within the file and are named under the file's id; relations
// start at the file; keywords and the summary keep their documented forms.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "fuzz_support.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/keywords.h"
#include "lumenfold/surveyor/relations.h"
#include "lumenfold/surveyor/summary.h"
#include "lumenfold/surveyor/symbols.h"

namespace {

using lumenfold::fuzz::require;
using namespace lumenfold::surveyor;

// Languages with an extractor and a few that only get keywords, relations
// and a summary; then the ones a grammar reads and more of the keyword-only
// ones; then a second 24 weighted towards the newest grammars. 48 entries,
// so the seeds' first bytes (48 to 63), chosen when there were 12, still
// pick the same extension.
constexpr std::string_view kExtensions[] = {
    ".ts", ".tsx", ".js",   ".jsx", ".py",   ".cs",   ".php",  ".md",   ".json",  ".go",   ".java", ".rs",
    ".c",  ".h",   ".cc",   ".cpp", ".cxx",  ".hh",   ".hpp",  ".hxx",  ".swift", ".xaml", ".yaml", ".yml",
    ".rs", ".rs",  ".rs",   ".rs",  ".java", ".java", ".java", ".java", ".rb",    ".rb",   ".rb",   ".rb",
    ".rb", ".rs",  ".java", ".kt",  ".kts",  ".php",  ".go",   ".c",    ".cpp",   ".h",    ".rb",   ".rs"};
constexpr size_t kMaxKeywords = 80;
constexpr size_t kMaxSummaryChars = 250;

void check_symbols(const std::vector<SymbolDescription>& symbols, std::string_view text, const std::string& file_id) {
  const int64_t line_count = static_cast<int64_t>(lumenfold::common::split_lines(text).size());
  for (const SymbolDescription& s : symbols) {
    require(!s.name.empty() && s.id == file_id + "::" + s.name, "a symbol's id is the file id and its name");
    require(0 <= s.line_start && s.line_start <= s.line_end && s.line_end < std::max<int64_t>(line_count, 1),
            "a symbol lies within the file");
    require(s.confidence == kConfidenceHigh || s.confidence == kConfidenceMedium, "confidence is high or medium");
    require(s.symbol_type == kSymbolApiRoute || s.symbol_type == kSymbolHook || s.symbol_type == kSymbolUtility ||
                s.symbol_type == kSymbolUseCase || s.symbol_type == kSymbolModel,
            "a symbol has a known type");
  }
}

void check_keywords(const std::vector<std::string>& keywords) {
  require(keywords.size() <= kMaxKeywords, "at most 80 keywords");
  std::unordered_set<std::string> seen;
  for (const std::string& k : keywords) {
    require(lumenfold::common::code_point_count(k) >= 3 && k.front() != '_' && k.back() != '_',
            "keywords are three characters or more, not edged with _");
    require(lumenfold::common::to_lower(k) == k, "keywords are lower-case");
    require(seen.insert(k).second, "keywords are distinct");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view ext = kExtensions[data[0] % std::size(kExtensions)];
  const std::string text = lumenfold::fuzz::as_source_text(lumenfold::fuzz::as_text(data + 1, size - 1));
  const std::string file_id = "src/sample" + std::string(ext);

  const std::vector<SymbolDescription> symbols = extract_symbols_for_file(text, file_id, ext);
  check_symbols(symbols, text, file_id);
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  append_symbol_nodes(nodes, edges, symbols, file_id, ext);
  require(nodes.size() == symbols.size() && edges.size() == symbols.size(), "one node and edge per symbol");

  for (const Edge& edge : parse_relations_from(file_id, std::filesystem::path("/project") / file_id, text)) {
    require(edge.from == file_id, "relations start at the file");
    require(edge.rel == "imports" || edge.rel == "requires" || edge.rel == "references", "relations have known kinds");
  }
  check_keywords(extract_keywords(text, ext));
  const std::string summary = make_summary(text, file_id, ext);
  require(lumenfold::common::code_point_count(summary) <= kMaxSummaryChars, "a summary keeps to 250 characters");
  require(lumenfold::common::drop_invalid_utf8(summary) == summary, "a summary is valid UTF-8");
  return 0;
}
