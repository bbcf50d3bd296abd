#include "lumenfold/lodestar/frontend/tool_table.h"

#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/mcp/arg_params.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/tools/fallback_rg.h"
#include "lumenfold/lodestar/tools/graph_action_summary.h"
#include "lumenfold/lodestar/tools/graph_add_memory.h"
#include "lumenfold/lodestar/tools/graph_continue.h"
#include "lumenfold/lodestar/tools/graph_impact.h"
#include "lumenfold/lodestar/tools/graph_neighbors.h"
#include "lumenfold/lodestar/tools/graph_read.h"
#include "lumenfold/lodestar/tools/graph_register_edit.h"
#include "lumenfold/lodestar/tools/graph_retrieve.h"
#include "lumenfold/lodestar/tools/graph_scan.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// The tool `name`: its parameters as `params` declares them, its handler
// filling the tool's own struct from the checked arguments and running
// `tool` on `state`. `params` is a constant that outlives the registry.
template <typename Args>
ToolSpec tool_spec(std::string name, const char* description, const ArgParams<Args>& params,
                   Json (*tool)(const Args&, ServerState&), ServerState& state) {
  return {std::move(name), description, tool_params(params),
          [&state, &params, tool](const Json& arguments) { return tool(fill_args(params, arguments), state); }};
}

}  // namespace

ToolRegistry build_tool_registry(ServerState& state) {
  ToolRegistry r;
  r.add(tool_spec("graph_retrieve", kGraphRetrieveDescription, kGraphRetrieveParams, graph_retrieve, state));
  r.add(tool_spec("graph_read", kGraphReadDescription, kGraphReadParams, graph_read, state));
  r.add(tool_spec("graph_neighbors", kGraphNeighborsDescription, kGraphNeighborsParams, graph_neighbors, state));
  r.add(tool_spec("graph_impact", kGraphImpactDescription, kGraphImpactParams, graph_impact, state));
  r.add(tool_spec("graph_register_edit", kGraphRegisterEditDescription, kGraphRegisterEditParams, graph_register_edit,
                  state));
  r.add(tool_spec("graph_action_summary", kGraphActionSummaryDescription, kGraphActionSummaryParams,
                  graph_action_summary, state));
  r.add(tool_spec("graph_continue", kGraphContinueDescription, kGraphContinueParams, graph_continue, state));
  r.add(tool_spec("fallback_rg", kFallbackRgDescription, kFallbackRgParams, fallback_rg, state));
  r.add(tool_spec("graph_add_memory", kGraphAddMemoryDescription, kGraphAddMemoryParams, graph_add_memory, state));
  r.add(tool_spec("graph_scan", kGraphScanDescription, kGraphScanParams, graph_scan, state));
  return r;
}

}  // namespace lumenfold::lodestar
