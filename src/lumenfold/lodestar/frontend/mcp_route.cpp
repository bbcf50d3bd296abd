#include "lumenfold/lodestar/frontend/mcp_route.h"

#include <optional>
#include <utility>

namespace lumenfold::lodestar {

namespace {

std::optional<std::string> header_text(const httplib::Request& request, const char* name) {
  std::optional<std::string_view> value = header(request, name);
  if (!value) return std::nullopt;
  return std::string(*value);
}

}  // namespace

McpHttpRequest to_mcp_request(const httplib::Request& request, std::string body) {
  McpHttpRequest out;
  out.method = request.method;
  out.content_type = header_text(request, "Content-Type");
  out.protocol_version = header_text(request, "MCP-Protocol-Version");
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
