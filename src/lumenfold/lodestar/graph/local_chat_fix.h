#pragma once
// Local retrieval: the retrieval module ranks the cached information graph.

#include <cstdint>
#include <optional>
#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class InfoGraphCache;
class RetrievalModule;
struct Settings;

// {"ok": true, "query", "graph_files", "graph_edges", "grep_hits": []} from
// `module`'s ranking of the graph that `graphs` serves for `settings`.
// nullopt when there is no module, no usable local graph, or the module
// fails (returns nothing, throws, or answers without "files" and "edges");
// the caller then asks the remote graph API.
std::optional<common::Json> local_chat_fix(RetrievalModule* module, InfoGraphCache& graphs,
                                           const Settings& settings, std::string_view query,
                                           int64_t top_files, int64_t top_edges);

}  // namespace lumenfold::lodestar
