#include "lumenfold/lodestar/tools/graph_impact.h"

#include <set>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/graph/file_ref.h"
#include "lumenfold/lodestar/mcp/input_limits.h"
#include "lumenfold/lodestar/server/fetch_graph.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// An edge end as text; an absent end is "".
std::string end_text(const Json& edge, const char* key) {
  auto it = edge.find(key);
  return it == edge.end() ? std::string() : common::made_text(*it);
}

Json impact_of(const GraphImpactArgs& args, ServerState& state) {
  Json payload{{"changed_files", args.changed_files}};
  log_tool(state.settings.log_file(), state.now(), "graph_impact", payload);
  state.action_graph.record_action("impact", payload, state.now_seconds());
  std::shared_ptr<const Json> graph = fetch_graph(state);

  std::set<std::string> changed(args.changed_files.begin(), args.changed_files.end());
  std::set<std::string> connected;
  for (const Json& edge : graph_edges(*graph)) {
    if (!edge.is_object()) continue;
    std::string from = end_text(edge, "from");
    std::string to = end_text(edge, "to");
    if (changed.count(from) && is_local_file_ref(to)) connected.insert(to);
    if (changed.count(to) && is_local_file_ref(from)) connected.insert(from);
  }
  Json untouched = Json::array();
  for (const std::string& f : connected) {
    if (!changed.count(f)) untouched.push_back(f);
  }
  return Json{{"ok", true},
              {"changed_files", changed},
              {"connected_files", connected},
              {"untouched_connected_files", std::move(untouched)}};
}

}  // namespace

Json graph_impact(const GraphImpactArgs& args, ServerState& state) {
  InputCuts cuts;
  const GraphImpactArgs bounded{cuts.files(args.changed_files, "changed_files")};
  return cuts.mark(impact_of(bounded, state));
}

}  // namespace lumenfold::lodestar
