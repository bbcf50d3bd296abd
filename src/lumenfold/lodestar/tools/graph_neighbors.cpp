#include "lumenfold/lodestar/tools/graph_neighbors.h"

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/server/fetch_graph.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"

namespace lumenfold::lodestar {

using common::Json;

Json graph_neighbors(const GraphNeighborsArgs& args, ServerState& state) {
  log_tool(state.settings.log_file(), state.now(), "graph_neighbors", Json{{"file", args.file}, {"limit", args.limit}});
  std::shared_ptr<const Json> graph = fetch_graph(state);
  const Json& edges = graph_edges(*graph);
  Json neighbors = Json::array();
  for (uint32_t pos : state.graphs.edges.edges_of(graph, edges, args.file)) {
    neighbors.push_back(edges[pos]);
    // Tested after the append, so a limit of 0 still yields the first edge.
    if (static_cast<int64_t>(neighbors.size()) >= args.limit) break;
  }
  return Json{{"ok", true}, {"file", args.file}, {"neighbors", std::move(neighbors)}};
}

}  // namespace lumenfold::lodestar
