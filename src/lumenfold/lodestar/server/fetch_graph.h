#pragma once
// The information graph as the graph tools see it: the local one, or the
// remote graph API's when there is no local graph.

#include <memory>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class ServerState;

// The local graph when it is present and not empty, else the remote API's
// full graph (an empty object when the API answers null). Throws
// std::runtime_error when the remote API cannot be reached or answers
// badly.
std::shared_ptr<const common::Json> fetch_graph(ServerState& state);

// The graph's "edges" when it is a list, else an empty list.
const common::Json& graph_edges(const common::Json& graph);

}  // namespace lumenfold::lodestar
