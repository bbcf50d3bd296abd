#pragma once

#include <cstdint>
#include <string>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphActionSummaryDescription[] =
    "Return recent action graph summary + query-relevant touched files.";

// Decisions and memories shown beside the recent actions.
inline constexpr size_t kSummaryDecisions = 5;
inline constexpr int64_t kSummaryMemories = 5;

struct GraphActionSummaryArgs {
  std::string query;
  int64_t limit;
};
inline const ArgParams<GraphActionSummaryArgs> kGraphActionSummaryParams = {
    defaulted_arg<ParamType::kString>("query", &GraphActionSummaryArgs::query, ""),
    defaulted_arg<ParamType::kInteger>("limit", &GraphActionSummaryArgs::limit, 12),
};

// {"ok": true, "recent_actions", "relevant_files", "decisions", "memories"}
// plus "decisions_archive" when the archive is not empty:
//   - recent_actions: the last `limit` stored actions, oldest first (all of
//     them for a limit of 0; a negative limit skips that many of the oldest);
//   - relevant_files: touched files {"file", "overlap", "last_action",
//     "edited_count", "cached_tokens_est", "last_ts"}; with a query, only
//     those whose stored query terms share a term with it; by overlap, edit
//     count and token estimate (highest first), then file; the first
//     `limit` (a negative limit drops that many from the end);
//   - decisions: for a query with terms, the 5 best by 2 x (terms found in
//     the summary) + (its files among the relevant files), ties newest
//     first, none when nothing matches; otherwise the last 5 stored;
//   - memories: the 5 best context store memories for the query and the
//     returned files.
// Logs the call and records an "action_summary" action; the memory search
// may update the store (reconciliation).
// A query past kMaxQueryChars code points is cut first and the answer
// gains "query_truncated_to" (query_limit.h).
common::Json graph_action_summary(const GraphActionSummaryArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
