#pragma once
// The MCP endpoint: JSON-RPC 2.0 over the streamable HTTP transport,
// stateless (no sessions) and answering with plain JSON (no event stream).
// It is a pure function from one HTTP request to one HTTP response, so it
// can be tested without sockets; frontend/mcp_route.h puts it on a server.
//
// It assumes the checks made before any request reaches it: the request
// gate (frontend/request_gate.h) has refused foreign peers, hosts and
// Origins, and the route (frontend/mcp_route.h) bodies over kMaxMcpBodyBytes.
//
// Answers, for POST (checked in this order):
//   415  a Content-Type whose media type is not application/json
//   400  -32700 for a body that is not JSON; -32600 for a batch array or a
//        message that is not a JSON-RPC 2.0 request, notification or
//        response; -32600 for an MCP-Protocol-Version header naming a version
//        we do not speak (not checked for initialize; no header is fine)
//   202  empty body for a notification or a response
//   200  the JSON-RPC response, compact, for a request; unknown methods get
//        -32601 "Method not found", malformed tools/call params -32602
// and 405 with "Allow: POST" for every other HTTP method. Error bodies are
// JSON-RPC error responses; request ids are echoed with their type.
//
// Methods: initialize (version negotiation, capability "tools" only), ping,
// tools/list and tools/call. A tool's result object goes back as one text
// block holding it as JSON indented by two spaces, UTF-8, with "isError"
// false. An unknown tool, arguments that do not fit the tool's parameters,
// and any exception thrown by a tool become a result with "isError" true;
// this is the one place where exceptions from tools are caught.
//
// Thread safety: handle() is const but calls tool handlers, which usually
// share state; the caller serialises calls (frontend/serial_routes.h).

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>  // holds Json values, not only references

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/tool_registry.h"

namespace lumenfold::lodestar {

// The protocol revisions we speak, oldest first. A client asking for one
// of these gets it back; any other request gets the newest.
inline constexpr std::array<std::string_view, 4> kProtocolVersions = {"2024-11-05", "2025-03-26", "2025-06-18",
                                                                      "2025-11-25"};

// Requests to the MCP endpoint are small JSON-RPC messages; 4 MiB leaves
// ample room for the longest arguments while refusing a runaway upload.
inline constexpr size_t kMaxMcpBodyBytes = size_t{4} << 20;

// The parts of an HTTP request the endpoint looks at. Header values are
// absent when the header was not sent.
struct McpHttpRequest {
  std::string method;  // "POST", "GET", ...
  std::optional<std::string> content_type;
  std::optional<std::string> protocol_version;  // MCP-Protocol-Version
  std::string body;
};

struct McpHttpResponse {
  int status = 200;
  std::string content_type;                                  // "application/json", or empty with an empty body
  std::vector<std::pair<std::string, std::string>> headers;  // beyond Content-Type
  std::string body;
};

struct ServerIdentity {
  std::string name;     // serverInfo.name, e.g. "tessel-mcp"
  std::string version;  // serverInfo.version
};

class McpServer {
 public:
  McpServer(ServerIdentity identity, ToolRegistry tools);

  McpHttpResponse handle(const McpHttpRequest& request) const;

  const ToolRegistry& tools() const { return tools_; }

 private:
  McpHttpResponse handle_post(const McpHttpRequest& request) const;
  // The response message to a valid request.
  common::Json dispatch(const common::Json& request) const;
  common::Json initialize_result(const common::Json& params) const;
  common::Json call_tool(const common::Json& params) const;

  ServerIdentity identity_;
  ToolRegistry tools_;
  common::Json tools_list_result_;  // built once: the registry never changes
};

// The answer to a request whose Origin is not a loopback origin: 403 with a
// JSON-RPC error body and id null. Shared by every route of the server.
McpHttpResponse forbidden_origin_response();

// The answer to a request whose Host header names another machine (a page
// that rebound its own name to this machine's address): 403 with a
// JSON-RPC error body and id null.
McpHttpResponse forbidden_host_response();

// The answer to a request that a server opened with a token cannot let in
// without it: 401 with "WWW-Authenticate: Bearer" and a JSON-RPC error body.
McpHttpResponse unauthorized_response();

// The answer to a body larger than a route accepts: 413 with a JSON-RPC
// error body and id null.
McpHttpResponse payload_too_large_response();

// The answer to a body that ended before its announced length: 400 with a
// JSON-RPC parse error and id null.
McpHttpResponse truncated_body_response();

}  // namespace lumenfold::lodestar
