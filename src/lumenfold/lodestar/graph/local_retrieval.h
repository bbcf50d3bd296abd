#pragma once
// Local retrieval: the retrieval module ranks the cached information graph.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class InfoGraphCache;
class RetrievalModule;

// The non-empty "id"s (made text) of the first `limit` members of a ranked
// result's "graph_files", in rank order; members that are not objects or
// have a null or no id are passed over but counted. [] when the result has
// no list of ranked files. Ranked results come from here or from the remote
// graph API, in the same shape.
std::vector<std::string> ranked_file_ids(const common::Json& ranked, size_t limit = std::numeric_limits<size_t>::max());

// {"ok": true, "query", "graph_files", "graph_edges", "grep_hits": []} from
// `module`'s ranking of the graph that `graphs` serves from `graph_file`
// (held to `locked_root` as InfoGraphCache::get does). nullopt when there is
// no module, no usable local graph, or the module fails (returns nothing,
// throws - which is said on stderr - or answers without "files" and
// "edges"); the caller then asks the remote graph API.
std::optional<common::Json> rank_local_graph(RetrievalModule* module, InfoGraphCache& graphs,
                                             const std::filesystem::path& graph_file,
                                             const std::optional<std::filesystem::path>& locked_root,
                                             std::string_view query, int64_t top_files, int64_t top_edges);

}  // namespace lumenfold::lodestar
