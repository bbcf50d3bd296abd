#include "lumenfold/lodestar/frontend/tool_table.h"

#include <nlohmann/json.hpp>

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
#include "lumenfold/lodestar/server/server_state.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// A handler that parses its checked arguments into the tool's own struct
// and runs the tool on `state`.
template <typename Args>
ToolHandler bind(ServerState& state, Args (*parse)(const Json&), Json (*tool)(const Args&, ServerState&)) {
  return [&state, parse, tool](const Json& arguments) { return tool(parse(arguments), state); };
}

}  // namespace

ToolRegistry build_tool_registry(ServerState& state) {
  using P = ParamType;
  ToolRegistry r;
  r.add({"graph_retrieve",
         kGraphRetrieveDescription,
         {required_param("query", P::kString), defaulted_param("top_files", P::kInteger, 5),
          defaulted_param("top_edges", P::kInteger, 12)},
         bind(state, parse_graph_retrieve_args, graph_retrieve)});
  r.add({"graph_read",
         kGraphReadDescription,
         {required_param("file", P::kString), defaulted_param("max_chars", P::kInteger, 20000),
          defaulted_param("query", P::kString, ""), defaulted_param("anchor", P::kString, "")},
         bind(state, parse_graph_read_args, graph_read)});
  r.add({"graph_neighbors",
         kGraphNeighborsDescription,
         {required_param("file", P::kString), defaulted_param("limit", P::kInteger, 30)},
         bind(state, parse_graph_neighbors_args, graph_neighbors)});
  r.add({"graph_impact",
         kGraphImpactDescription,
         {required_param("changed_files", P::kStringList)},
         bind(state, parse_graph_impact_args, graph_impact)});
  r.add({"graph_register_edit",
         kGraphRegisterEditDescription,
         {required_param("files", P::kStringOrStringList), defaulted_param("summary", P::kString, "")},
         bind(state, parse_graph_register_edit_args, graph_register_edit)});
  r.add({"graph_action_summary",
         kGraphActionSummaryDescription,
         {defaulted_param("query", P::kString, ""), defaulted_param("limit", P::kInteger, 12)},
         bind(state, parse_graph_action_summary_args, graph_action_summary)});
  r.add({"graph_continue",
         kGraphContinueDescription,
         {required_param("query", P::kString), defaulted_param("top_files", P::kInteger, 5),
          defaulted_param("top_edges", P::kInteger, 12), defaulted_param("limit", P::kInteger, 8)},
         bind(state, parse_graph_continue_args, graph_continue)});
  r.add({"fallback_rg",
         kFallbackRgDescription,
         {required_param("pattern", P::kString), defaulted_param("max_hits", P::kInteger, 30)},
         bind(state, parse_fallback_rg_args, fallback_rg)});
  r.add({"graph_add_memory",
         kGraphAddMemoryDescription,
         {required_param("type", P::kString), required_param("content", P::kString),
          nullable_param("tags", P::kStringList), nullable_param("files", P::kStringList)},
         bind(state, parse_graph_add_memory_args, graph_add_memory)});
  r.add({"graph_scan",
         kGraphScanDescription,
         {required_param("project_root", P::kString)},
         bind(state, parse_graph_scan_args, graph_scan)});
  return r;
}

}  // namespace lumenfold::lodestar
