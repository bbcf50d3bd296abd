#include "lumenfold/lodestar/server/fetch_graph.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/server/server_state.h"

namespace lumenfold::lodestar {

using common::Json;

std::shared_ptr<const Json> fetch_graph(ServerState& state) {
  std::shared_ptr<const Json> local =
      state.graphs.info_graph.get(state.settings.info_graph_file(), state.settings.locked_project_root);
  if (local && common::is_truthy(*local)) return local;
  common::Result<Json> remote = state.remote().get(kFullInfoGraphPath);
  if (!remote) throw std::runtime_error("remote graph API: " + remote.error());
  if (!remote->is_object()) return std::make_shared<const Json>(Json::object());
  return std::make_shared<const Json>(std::move(*remote));
}

const Json& graph_edges(const Json& graph) {
  static const Json kNoEdges = Json::array();
  if (!graph.is_object()) return kNoEdges;
  auto it = graph.find("edges");
  return (it != graph.end() && it->is_array()) ? *it : kNoEdges;
}

}  // namespace lumenfold::lodestar
