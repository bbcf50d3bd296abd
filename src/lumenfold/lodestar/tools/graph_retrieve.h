#pragma once

#include <cstdint>
#include <string>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphRetrieveDescription[] = "Retrieve ranked files/edges using tessel first.";

// The retrieval cache keeps the results of this many queries; older ones
// give way (the file is rewritten on every fresh retrieval).
inline constexpr size_t kRetrievalCacheMaxEntries = 50;
// Reuse candidates proposed, and demanded by the reuse gate, per turn.
inline constexpr size_t kMaxReuseCandidates = 3;

struct GraphRetrieveArgs {
  std::string query;
  int64_t top_files;
  int64_t top_edges;
};
inline const ArgParams<GraphRetrieveArgs> kGraphRetrieveParams = {
    required_arg<ParamType::kString>("query", &GraphRetrieveArgs::query),
    defaulted_arg<ParamType::kInteger>("top_files", &GraphRetrieveArgs::top_files, 5),
    defaulted_arg<ParamType::kInteger>("top_edges", &GraphRetrieveArgs::top_edges, 12),
};

// Ranks the project's files for `query` and opens the query turn that
// graph_read and fallback_rg are budgeted by.
//
// A query whose key differs from the turn's starts a new turn (the turn
// state is reset). Then, first match wins:
//   - the turn already has a result for this key (single retrieval per
//     turn): a copy of it with "single_retrieve_reused": true; nothing is
//     logged or recorded;
//   - a valid retrieval cache entry: its result with "retrieval_cache_hit":
//     true and "retrieval_cache_key"; the allowlist becomes its files;
//     logged and recorded as "retrieve_cache_hit";
//   - a fresh ranking by the retrieval module, or by the remote graph API
//     when there is no module or it cannot rank: the result gains
//     "reuse_candidates" (up to three files earlier reads shared query
//     terms with) and "read_budget"; the query and its first files
//     (`top_files`, at least one) are recorded in the action graph and
//     become the read allowlist, the candidates become the reuse gate, and
//     the result is stored in the retrieval cache (newest 50 entries).
//     Logged and recorded as "retrieve".
// Throws std::runtime_error when the remote graph API is needed and cannot
// be reached or answers badly, or when a state file cannot be written; the
// turn state keeps the changes made before.
// A query past kMaxQueryChars code points is cut first and the answer
// gains "query_truncated_to" (query_limit.h).
common::Json graph_retrieve(const GraphRetrieveArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
