#pragma once
// The parsed documents of the data directory, and what is built from them,
// that live as long as the server process: one instance, owned by the
// server state.

#include "lumenfold/lodestar/graph/edge_index.h"
#include "lumenfold/lodestar/graph/info_graph_cache.h"
#include "lumenfold/lodestar/graph/symbol_index_cache.h"

namespace lumenfold::lodestar {

struct GraphCaches {
  InfoGraphCache info_graph;
  SymbolIndexCache symbol_index;
  EdgeIndex edges;
};

}  // namespace lumenfold::lodestar
