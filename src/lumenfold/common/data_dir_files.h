#pragma once
// The files of a project's data directory that more than one program
// reads: lodestar writes them, the launchers read them to find, report on
// and stop the project's server.

namespace lumenfold::common {

// The server's port as decimal text, written once it listens.
inline constexpr char kPortFileName[] = "mcp_port";
// Held (flock) by the serving lodestar; holds "<pid> <port>".
inline constexpr char kServerLockFileName[] = "lodestar.lock";
inline constexpr char kInfoGraphFileName[] = "info_graph.json";
inline constexpr char kContextStoreFileName[] = "context-store.json";

}  // namespace lumenfold::common
