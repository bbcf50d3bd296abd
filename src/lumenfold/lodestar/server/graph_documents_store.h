#pragma once
// Installing a new information graph in the data directory, as graph_scan
// and the graph upload route both do.

#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class ServerState;

// Writes `graph` to info_graph.json and its symbol index to
// symbol_index.json in the data directory (created when missing), each
// atomically, then reconciles the context store against the new index.
// The caches notice the new files by their modification times. Throws
// std::runtime_error when a file cannot be written.
void store_graph_documents(const common::Json& graph, ServerState& state);

// The same for a graph already laid out as text and the symbol index of
// its nodes.
void store_graph_documents(std::string_view graph_text, const common::Json& symbol_index, ServerState& state);

}  // namespace lumenfold::lodestar
