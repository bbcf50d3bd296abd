#pragma once
// Who may use the server. It serves the local user: a request gets in when
// it comes from a loopback address, its Host header names this machine by a
// loopback name (so a web page that rebinds its own domain to 127.0.0.1 is
// refused: the browser still sends that domain), and any Origin header
// names a page served from this machine. A server opened to other machines
// has a token; a request that presents it gets in from anywhere.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "lumenfold/lodestar/mcp/mcp_server.h"

namespace lumenfold::lodestar {

// The parts of a request the gate looks at; headers absent when not sent.
struct RequestFacts {
  std::string_view peer_address;  // numeric: "127.0.0.1", "::1", ...
  std::optional<std::string_view> host;
  std::optional<std::string_view> origin;
  std::optional<std::string_view> authorization;
};

class RequestGate {
 public:
  // `token` empty: the server has no token, and only local requests get in.
  explicit RequestGate(std::string_view token);

  // nullopt when the request may be served, else the answer to send, from
  // the first check it fails:
  //   401  the server has a token and the request presents a wrong one
  //   401  the server has a token, the request presents none, and it comes
  //        from another machine or names a host that is not loopback
  //   403  (no token) it comes from another machine: forbidden_host_response
  //   403  (no token) its Host is not a loopback name or address
  //   403  its Origin is not a loopback origin
  // A missing Host header is let through: browsers always send one.
  std::optional<McpHttpResponse> refusal(const RequestFacts& request) const;

  bool has_token() const { return token_digest_.has_value(); }

 private:
  // The token is kept and compared as a SHA-256 digest, so the comparison
  // takes the same time whatever the presented text.
  std::optional<std::array<unsigned char, 32>> token_digest_;
};

}  // namespace lumenfold::lodestar
