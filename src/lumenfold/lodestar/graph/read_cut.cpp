#include "lumenfold/lodestar/graph/read_cut.h"

#include <algorithm>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/hash.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/text_search.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/graph/excerpt.h"
#include "lumenfold/lodestar/graph/query_terms.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

int64_t integer_or(const Json& record, const char* key, int64_t fallback) {
  auto it = record.find(key);
  return it == record.end() ? fallback : common::as_integer(*it).value_or(fallback);
}

// The symbol's lines of `text`, its end clamped to the last line.
std::string symbol_lines(std::string_view text, const Json& symbol) {
  std::vector<std::string_view> lines = common::split_lines(text);
  const int64_t last = static_cast<int64_t>(lines.size()) - 1;
  const int64_t start = std::max<int64_t>(0, integer_or(symbol, "line_start", 0));
  const int64_t end = std::min(integer_or(symbol, "line_end", last), last);
  std::string out;
  for (int64_t i = start; i <= end; ++i) {
    if (i > start) out += '\n';
    out += lines[static_cast<size_t>(i)];
  }
  return out;
}

// The code points [from, to) of `text`.
std::string code_point_slice(std::string_view text, int64_t from, int64_t to) {
  if (to <= from) return "";
  size_t begin = common::byte_offset_of(text, static_cast<size_t>(from));
  size_t end = common::byte_offset_of(text, static_cast<size_t>(to));
  return std::string(text.substr(begin, end - begin));
}

void cut_at_anchor(ReadCut& cut, std::string_view anchor, int64_t granted) {
  const std::string lowered = common::to_lower(cut.content);
  const size_t at = common::find_text(lowered, common::to_lower(anchor));
  if (at == std::string::npos) {
    cut.content = std::string(common::cut_code_points(cut.content, static_cast<size_t>(granted)));
    cut.mode = "anchor_fallback_head";
    return;
  }
  // The position is counted in the lower-cased text and applied to the
  // original, as both are compared in lower case.
  const int64_t i = static_cast<int64_t>(common::code_point_count(std::string_view(lowered).substr(0, at)));
  const int64_t length = static_cast<int64_t>(common::code_point_count(cut.content));
  cut.content = code_point_slice(cut.content, std::max<int64_t>(0, i - granted / 2), std::min(length, i + granted / 2));
  cut.mode = "anchor_excerpt";
}

}  // namespace

ReadCut cut_for_read(std::string text, const Json* symbol, const std::vector<std::string>& terms,
                     std::string_view anchor, int64_t granted) {
  granted = std::max<int64_t>(0, granted);
  ReadCut cut{std::move(text), "full", false};
  if (symbol != nullptr && symbol->is_object()) {
    cut.content = symbol_lines(cut.content, *symbol);
    cut.mode = "symbol_excerpt";
    const std::string body_hash = common::get_text(*symbol, "body_hash");
    if (!body_hash.empty()) cut.stale = common::short_hash(cut.content) != body_hash;
  }
  if (!anchor.empty()) {
    cut_at_anchor(cut, anchor, granted);
  } else if (static_cast<int64_t>(common::code_point_count(cut.content)) > granted) {
    cut.content = excerpt_by_terms(cut.content, terms, granted);
    cut.mode = terms.empty() ? "head" : "query_excerpt";
  }
  return cut;
}

}  // namespace lumenfold::lodestar
