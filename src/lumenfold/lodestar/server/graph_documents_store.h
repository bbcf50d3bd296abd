#pragma once
// Installing a new information graph in the data directory, as graph_scan
// and the graph upload route both do.

#include <string_view>

#include "lumenfold/common/json.h"
#include "lumenfold/surveyor/scan.h"

namespace lumenfold::lodestar {

class ServerState;

// Writes a graph laid out as text to info_graph.json and the symbol index
// of its nodes to symbol_index.json in the data directory (created when
// missing), each atomically, then reconciles the context store against
// the new index. The caches notice the new files by their modification
// times. Throws std::runtime_error when a file cannot be written.
void store_graph_documents(std::string_view graph_text, const common::Json& symbol_index, ServerState& state);

// The same for a scan's documents, both laid out as text already: written
// as they are, byte for byte.
void store_graph_documents(const surveyor::ScanDocuments& documents, ServerState& state);

}  // namespace lumenfold::lodestar
