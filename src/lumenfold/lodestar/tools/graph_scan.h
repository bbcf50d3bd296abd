#pragma once

#include <filesystem>
#include <string>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphScanDescription[] =
    "Scan a local project directory and build/refresh its information graph.\n"
    "\n"
    "        Call this once at the start of a session to point the tessel at your\n"
    "        project folder. After scanning, graph_retrieve / graph_read / graph_continue\n"
    "        will work against that project.\n"
    "\n"
    "        Args:\n"
    "            project_root: Absolute path to the project directory to scan.\n"
    "        ";

struct GraphScanArgs {
  std::string project_root;
};
inline const ArgParams<GraphScanArgs> kGraphScanParams = {
    required_arg<ParamType::kString>("project_root", &GraphScanArgs::project_root),
};

// `path` with a leading "~" expanded to the home directory, made absolute,
// symbolic links resolved.
std::filesystem::path resolve_user_path(const std::string& path);

// Scans the project at `project_root` (incrementally, reusing the previous
// graph's unchanged files), writes info_graph.json and symbol_index.json,
// reconciles the context store, moves the project root there, deletes the
// retrieval cache, empties the action graph and resets the turn. On a
// locked server, first refuses any root but the locked one (compared
// resolved), whether or not it exists; then refuses a path that is not a
// directory.
common::Json graph_scan(const GraphScanArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
