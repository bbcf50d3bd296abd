#pragma once
// The defence against DNS rebinding: the server listens on every interface,
// but a browser page of another site must never reach it. Browsers name the
// page's site in the Origin header; agents, hooks and curl send none.

#include <optional>
#include <string_view>

namespace lumenfold::lodestar {

// Whether `origin` (an Origin header's value, "scheme://host[:port]") names
// a page served from this machine: scheme http or https, and host
// "localhost" (any case), an IPv4 address in 127.0.0.0/8 or "[::1]".
// Anything else, "null" and malformed values included, is refused.
bool is_loopback_origin(std::string_view origin);

// Whether `host` (a Host header's value, "host[:port]") names this machine
// by a loopback name or address, as is_loopback_origin judges hosts. A page
// whose own domain an attacker rebinds to 127.0.0.1 still sends that domain
// here, so this is what keeps such pages out.
bool is_loopback_host_header(std::string_view host);

// A Host header's or an origin's "host[:port]", or "[address][:port]",
// split at the port's colon. `host` keeps the brackets; `port` is the text
// after the colon as given (the caller judges it), nullopt without a colon.
struct Authority {
  std::string_view host;
  std::optional<std::string_view> port;
};
// nullopt when a "[" is not closed or its "]" is followed by anything but
// ":port". The views point into `text`.
std::optional<Authority> split_authority(std::string_view text);

// Whether `address` (a peer's numeric address: "127.0.0.1", "::1",
// "::ffff:127.0.0.1") is a loopback address.
bool is_loopback_address(std::string_view address);

}  // namespace lumenfold::lodestar
