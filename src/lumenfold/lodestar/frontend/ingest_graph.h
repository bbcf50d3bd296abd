#pragma once
// The graph upload route: a scanner run elsewhere posts a finished
// information graph, which becomes the server's graph.

#include <string>

#include "lumenfold/lodestar/frontend/token_log.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kMissingNodesOrEdgesError[] = "missing nodes/edges";
inline constexpr char kNodesOrEdgesNotListsError[] = "nodes and edges must be lists";

// Stores the graph document `body` (its "root" replaced by the project
// root) and its symbol index, reconciles the context store and deletes the
// retrieval cache. 400 with {"ok":false,"error":...}, storing nothing, for a
// body that is not JSON (the parser's message), is not an object or lacks
// "nodes" or "edges" (kMissingNodesOrEdgesError), or whose "nodes" or
// "edges" is not a list (kNodesOrEdgesNotListsError); 200 with
// {"ok":true,"node_count","edge_count"}. Throws when the files cannot be
// written. Takes the body to let it go once parsed.
RouteAnswer ingest_graph(std::string body, ServerState& state);

}  // namespace lumenfold::lodestar
