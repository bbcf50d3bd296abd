#include "lumenfold/lodestar/mcp/mcp_http.h"

#include <optional>
#include <utility>

namespace lumenfold::lodestar {

namespace {

std::optional<std::string> header(const httplib::Request& request, const char* name) {
  if (!request.has_header(name)) return std::nullopt;
  return request.get_header_value(name);
}

}  // namespace

McpHttpRequest to_mcp_request(const httplib::Request& request, std::string body) {
  McpHttpRequest out;
  out.method = request.method;
  out.content_type = header(request, "Content-Type");
  out.protocol_version = header(request, "MCP-Protocol-Version");
  out.body = std::move(body);
  return out;
}

void serve_mcp(SerialRoutes& routes, const McpServer& mcp) {
  const std::string path(kMcpPath);
  routes.post(path, kMaxMcpBodyBytes,
              [&mcp](const httplib::Request& request, std::string body, httplib::Response& response) {
                apply_response(mcp.handle(to_mcp_request(request, std::move(body))), response);
              });
  // No event stream and no sessions: handle() answers the other methods
  // with 405.
  routes.refuse_other_methods(path, {"POST"}, [&mcp](const httplib::Request& request, httplib::Response& response) {
    apply_response(mcp.handle(to_mcp_request(request, "")), response);
  });
}

}  // namespace lumenfold::lodestar
