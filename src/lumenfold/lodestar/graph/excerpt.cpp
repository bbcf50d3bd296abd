#include "lumenfold/lodestar/graph/excerpt.h"

#include <algorithm>
#include <unordered_set>

#include "lumenfold/common/text_case.h"
#include "lumenfold/common/text_search.h"
#include "lumenfold/common/utf8.h"

namespace lumenfold::lodestar {
namespace {

// Lines kept before and after a hit, so an excerpt shows the surrounding code.
constexpr int64_t kContextLinesBefore = 12;
constexpr int64_t kContextLinesAfter = 12;
constexpr std::string_view kExcerptSeparator = "\n\n/* --- excerpt --- */\n\n";

// The first `max_chars` code points; a negative count reads as none.
std::string first_chars(std::string_view text, int64_t max_chars) {
  if (max_chars <= 0) return std::string();
  return std::string(common::cut_code_points(text, static_cast<size_t>(max_chars)));
}

bool mentions_any(std::string_view lowered_line, const std::vector<std::string>& terms) {
  for (const std::string& term : terms) {
    if (common::contains_text(lowered_line, term)) return true;
  }
  return false;
}

std::string join_lines(const std::vector<std::string_view>& lines, size_t start, size_t end) {
  std::string chunk;
  for (size_t i = start; i < end; ++i) {
    if (i > start) chunk += '\n';
    chunk.append(lines[i]);
  }
  return chunk;
}

}  // namespace

std::string excerpt_by_terms(std::string_view text, const std::vector<std::string>& terms, int64_t max_chars) {
  if (terms.empty()) return first_chars(text, max_chars);
  const std::vector<std::string_view> lines = common::split_lines(text);
  if (lines.empty()) return first_chars(text, max_chars);

  const int64_t line_count = static_cast<int64_t>(lines.size());
  std::unordered_set<int64_t> used_starts;
  std::vector<std::string> chunks;
  int64_t total_chars = 0;
  for (int64_t i = 0; i < line_count; ++i) {
    if (!mentions_any(common::to_lower(lines[i]), terms)) continue;
    const int64_t start = std::max<int64_t>(0, i - kContextLinesBefore);
    const int64_t end = std::min(i + kContextLinesAfter + 1, line_count);
    if (!used_starts.insert(start).second) continue;
    chunks.push_back(join_lines(lines, static_cast<size_t>(start), static_cast<size_t>(end)));
    total_chars += static_cast<int64_t>(common::code_point_count(chunks.back()));
    // Enough text already: a large file with many hits costs little more
    // than its first hits.
    if (total_chars >= max_chars) break;
  }
  if (chunks.empty()) return first_chars(text, max_chars);

  std::string joined;
  for (size_t c = 0; c < chunks.size(); ++c) {
    if (c > 0) joined.append(kExcerptSeparator);
    joined.append(chunks[c]);
  }
  return first_chars(joined, max_chars);
}

}  // namespace lumenfold::lodestar
