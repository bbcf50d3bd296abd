#pragma once

#include <cstdint>
#include <string>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphNeighborsDescription[] = "Return graph edges touching a file.";

struct GraphNeighborsArgs {
  std::string file;
  int64_t limit = 30;
};
GraphNeighborsArgs parse_graph_neighbors_args(const common::Json& args);

// {"ok": true, "file", "neighbors"}: the graph's edges from or to `file`,
// in stored order, stopping once `limit` are collected (at least one is
// always taken when any matches). Logs the call.
common::Json graph_neighbors(const GraphNeighborsArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
