#include "lumenfold/lodestar/frontend/mcp_http.h"

#include <mutex>
#include <optional>
#include <utility>

#include "lumenfold/lodestar/tools/loopback_origin.h"

namespace lumenfold::lodestar {

namespace {

std::optional<std::string> header(const httplib::Request& request, const char* name) {
  if (!request.has_header(name)) return std::nullopt;
  return request.get_header_value(name);
}

// A POST body as it arrived: kept up to kMaxMcpBodyBytes, only counted
// beyond, so an oversized upload costs no memory.
struct ReceivedBody {
  std::string bytes;
  bool too_large = false;
  bool complete = false;  // false when the client stopped sending early
};

ReceivedBody receive_body(const httplib::ContentReader& read) {
  ReceivedBody body;
  body.complete = read([&body](const char* data, size_t length) {
    if (body.too_large) return true;
    if (body.bytes.size() + length > kMaxMcpBodyBytes) {
      body.too_large = true;
      std::string().swap(body.bytes);
      return true;
    }
    body.bytes.append(data, length);
    return true;
  });
  return body;
}

void handle_post(SerialRoutes& routes, const McpServer& mcp, const httplib::Request& request,
                 httplib::Response& response, const httplib::ContentReader& read) {
  ReceivedBody body = receive_body(read);
  if (!has_acceptable_origin(request)) return refuse_origin(response);
  if (!body.complete) return apply_response(truncated_body_response(), response);
  if (body.too_large) return apply_response(payload_too_large_response(), response);
  std::lock_guard<std::mutex> lock(routes.mutex());
  apply_response(mcp.handle(to_mcp_request(request, std::move(body.bytes))), response);
}

}  // namespace

McpHttpRequest to_mcp_request(const httplib::Request& request, std::string body) {
  McpHttpRequest out;
  out.method = request.method;
  out.content_type = header(request, "Content-Type");
  out.protocol_version = header(request, "MCP-Protocol-Version");
  out.origin = header(request, "Origin");
  out.body = std::move(body);
  return out;
}

void apply_response(const McpHttpResponse& from, httplib::Response& to) {
  to.status = from.status;
  for (const auto& [name, value] : from.headers) to.set_header(name, value);
  if (!from.content_type.empty()) to.set_content(from.body, from.content_type.c_str());
}

void serve_mcp(SerialRoutes& routes, const McpServer& mcp) {
  const std::string path(kMcpPath);
  routes.server().Post(path, [&routes, &mcp](const httplib::Request& request, httplib::Response& response,
                                             const httplib::ContentReader& read) {
    handle_post(routes, mcp, request, response, read);
  });
  // No event stream and no sessions: handle() answers these with 405.
  auto refuse = routes.serialized([&mcp](const httplib::Request& request, httplib::Response& response) {
    apply_response(mcp.handle(to_mcp_request(request, "")), response);
  });
  routes.server().Get(path, refuse);
  routes.server().Delete(path, refuse);
  routes.server().Put(path, refuse);
  routes.server().Patch(path, refuse);
  routes.server().Options(path, refuse);
}

}  // namespace lumenfold::lodestar
