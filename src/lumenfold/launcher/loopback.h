#pragma once
// Plain HTTP to a server on this machine (127.0.0.1), with bounded waits:
// the launcher and its hooks never talk to any other address.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace lumenfold::launcher {

struct HttpAnswer {
  int status = 0;
  std::string body;
};

// GET `path` on 127.0.0.1:`port`; nullopt when nothing answers within
// `timeout` (connecting, and again reading).
std::optional<HttpAnswer> http_get(int port, const std::string& path, std::chrono::milliseconds timeout);

// POST `json` to `path` on 127.0.0.1:`port`, as GET above.
std::optional<HttpAnswer> http_post_json(int port, const std::string& path, const std::string& json,
                                         std::chrono::milliseconds timeout);

// What a lodestar says of itself on GET /health.
struct ServerHealth {
  std::string root;
  std::string version;
  int64_t pid = 0;
};

// The health of the server on `port`; nullopt when nothing answers within
// about a second, or the answer is not a health document.
std::optional<ServerHealth> query_health(int port);

}  // namespace lumenfold::launcher
