#pragma once
// The tools of the server, in the order agents see them.

#include "lumenfold/lodestar/mcp/tool_registry.h"

namespace lumenfold::lodestar {

class ServerState;

// The server's name in the MCP handshake.
inline constexpr char kServerName[] = "tessel-mcp";

// Every tool, bound to `state`, which must outlive the registry.
ToolRegistry build_tool_registry(ServerState& state);

}  // namespace lumenfold::lodestar
