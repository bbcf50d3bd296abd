#pragma once
// Puts the MCP endpoint on the HTTP server.

#include <string>
#include <string_view>

#include <httplib.h>

#include "lumenfold/lodestar/frontend/serial_routes.h"
#include "lumenfold/lodestar/mcp/mcp_server.h"

namespace lumenfold::lodestar {

// The MCP library's customary path, where agents are told to connect.
inline constexpr std::string_view kMcpPath = "/mcp";

// Serves `mcp` at kMcpPath on `routes`' servers. POST bodies are refused
// with 413 past kMaxMcpBodyBytes and with 400 when the client cuts them
// short (see SerialRoutes::post). Every other method answers 405 with
// "Allow: POST". Each request is handled under `routes`' lock. `mcp` must
// outlive the servers' listening.
void serve_mcp(SerialRoutes& routes, const McpServer& mcp);

// The parts of `request` the MCP endpoint reads, with `body` as its body.
McpHttpRequest to_mcp_request(const httplib::Request& request, std::string body);

}  // namespace lumenfold::lodestar
