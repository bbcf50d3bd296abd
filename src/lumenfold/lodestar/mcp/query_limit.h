#pragma once
// The one bound on query text. A query reaches the ranker, the memory and
// action-history searches and the read excerpts; every tool that takes one
// cuts it here, at its edge, before any of them sees it, so the work of a
// call stays bounded whatever an agent sends (an MCP body may carry about
// 4 MB of text).
//
// A query of at most kMaxQueryChars code points passes unchanged, and so
// does the tool's answer. A longer one is cut to its first kMaxQueryChars
// code points (never inside a UTF-8 sequence), the tool runs on the cut
// query exactly as if the agent had sent it, and the answer gains one
// last member, "query_truncated_to": kMaxQueryChars, so the agent knows
// that the rest of its text was not read.

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>  // with_query_cut returns Json values

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// Far beyond any request or pasted stack trace an agent writes, small
// enough that ranking and searching the query takes milliseconds.
inline constexpr size_t kMaxQueryChars = 8000;
inline constexpr char kQueryTruncatedKey[] = "query_truncated_to";

// Whether `query` holds more than kMaxQueryChars code points.
bool exceeds_query_limit(std::string_view query);

// The first kMaxQueryChars code points of `query` (all of it when shorter).
std::string_view cut_query(std::string_view query);

// `answer` with "query_truncated_to": kMaxQueryChars appended when it is
// an object.
common::Json mark_query_cut(common::Json answer);

// Runs `tool` on `args` with the member `query` cut to the limit. Returns
// the tool's answer, marked by mark_query_cut when the query was cut.
// `args` is copied only then.
template <typename Args, typename Tool>
common::Json with_query_cut(const Args& args, std::string Args::*query, Tool&& tool) {
  if (!exceeds_query_limit(args.*query)) return tool(args);
  Args cut = args;
  cut.*query = std::string(cut_query(args.*query));
  return mark_query_cut(tool(static_cast<const Args&>(cut)));
}

}  // namespace lumenfold::lodestar
