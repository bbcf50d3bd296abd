#pragma once

#include <string>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphImpactDescription[] = "Return connected local files likely impacted by edits.";

struct GraphImpactArgs {
  std::vector<std::string> changed_files;
};
inline const ArgParams<GraphImpactArgs> kGraphImpactParams = {
    required_arg<ParamType::kStringList>("changed_files", &GraphImpactArgs::changed_files),
};

// {"ok": true, "changed_files", "connected_files",
// "untouched_connected_files"}, each sorted: the local files one edge away
// from a changed file. Logs the call and records an "impact" action.
// Before any of it, `changed_files` loses the names no path is that long
// and is cut to its first names; the answer then ends with
// "changed_files_dropped_too_long" and "changed_files_truncated_to"
// (input_limits.h).
common::Json graph_impact(const GraphImpactArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
