#include "lumenfold/lodestar/mcp/query_limit.h"

#include <nlohmann/json.hpp>

#include "lumenfold/common/utf8.h"

namespace lumenfold::lodestar {

bool exceeds_query_limit(std::string_view query) {
  // A code point takes at least one byte: a short text needs no count.
  if (query.size() <= kMaxQueryChars) return false;
  return cut_query(query).size() < query.size();
}

std::string_view cut_query(std::string_view query) { return common::cut_code_points(query, kMaxQueryChars); }

common::Json mark_query_cut(common::Json answer) {
  if (answer.is_object()) answer[kQueryTruncatedKey] = kMaxQueryChars;
  return answer;
}

}  // namespace lumenfold::lodestar
