#include "lumenfold/surveyor/syntax_tree.h"

#include <cstdint>

namespace lumenfold::surveyor {
namespace {

// Error recovery on hostile text can take long; past this a file is taken
// as unparsable rather than stalling the whole scan. Real files of the
// largest size scanned parse in well under a tenth of it.
constexpr uint64_t kParseTimeoutMicros = 2'000'000;

struct ParserDeleter {
  void operator()(TSParser* parser) const { ts_parser_delete(parser); }
};

}  // namespace

std::optional<SyntaxTree> SyntaxTree::parse(std::string_view text, const TSLanguage* grammar) {
  std::unique_ptr<TSParser, ParserDeleter> parser(ts_parser_new());
  if (!ts_parser_set_language(parser.get(), grammar)) return std::nullopt;
  ts_parser_set_timeout_micros(parser.get(), kParseTimeoutMicros);
  TSTree* tree = ts_parser_parse_string(parser.get(), nullptr, text.data(), static_cast<uint32_t>(text.size()));
  if (tree == nullptr) return std::nullopt;
  return SyntaxTree(tree);
}

std::string_view node_text(TSNode node, std::string_view source) {
  if (ts_node_is_null(node)) return {};
  const uint32_t start = ts_node_start_byte(node);
  const uint32_t end = ts_node_end_byte(node);
  if (start >= source.size() || end <= start) return {};
  return source.substr(start, end - start);
}

TSNode field_child(TSNode node, std::string_view field) {
  return ts_node_child_by_field_name(node, field.data(), static_cast<uint32_t>(field.size()));
}

int64_t first_line(TSNode node) { return ts_node_start_point(node).row; }

int64_t last_line(TSNode node) {
  const TSPoint end = ts_node_end_point(node);
  const int64_t first = first_line(node);
  if (end.column == 0 && end.row > first) return static_cast<int64_t>(end.row) - 1;
  return end.row;
}

}  // namespace lumenfold::surveyor
