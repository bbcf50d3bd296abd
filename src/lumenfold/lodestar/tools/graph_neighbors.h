#pragma once

#include <cstdint>
#include <string>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphNeighborsDescription[] = "Return graph edges touching a file.";

struct GraphNeighborsArgs {
  std::string file;
  int64_t limit;
};
inline const ArgParams<GraphNeighborsArgs> kGraphNeighborsParams = {
    required_arg<ParamType::kString>("file", &GraphNeighborsArgs::file),
    defaulted_arg<ParamType::kInteger>("limit", &GraphNeighborsArgs::limit, 30),
};

// {"ok": true, "file", "neighbors"}: the graph's edges from or to `file`,
// in stored order, stopping once `limit` are collected (at least one is
// always taken when any matches). Logs the call.
common::Json graph_neighbors(const GraphNeighborsArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
