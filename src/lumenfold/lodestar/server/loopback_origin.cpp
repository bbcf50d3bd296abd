#include "lumenfold/lodestar/server/loopback_origin.h"

#include <string>

#include "lumenfold/common/text_case.h"

namespace lumenfold::lodestar {

namespace {

bool is_digits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Four dotted decimal octets, the first 127. At most three digits each, so
// the value check cannot overflow.
bool is_loopback_ipv4(std::string_view host) {
  int octets = 0;
  while (true) {
    size_t dot = host.find('.');
    std::string_view part = host.substr(0, dot);
    if (!is_digits(part) || part.size() > 3 || std::stoi(std::string(part)) > 255) return false;
    if (octets == 0 && std::stoi(std::string(part)) != 127) return false;
    ++octets;
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  return octets == 4;
}

// REQUIRES: `host` is lower case.
bool is_loopback_host(std::string_view host) {
  return host == "localhost" || host == "[::1]" || is_loopback_ipv4(host);
}

// REQUIRES: `authority` is lower case. Whether "host[:port]" names a
// loopback host with an optional decimal port.
bool is_loopback_authority(std::string_view authority) {
  if (authority.empty()) return false;
  std::optional<Authority> parts = split_authority(authority);
  if (!parts || (parts->port && !is_digits(*parts->port))) return false;
  return is_loopback_host(parts->host);
}

}  // namespace

bool is_loopback_origin(std::string_view origin) {
  std::string lowered = common::to_lower(origin);
  std::string_view rest = lowered;
  size_t scheme_end = rest.find("://");
  if (scheme_end == std::string_view::npos) return false;
  std::string_view scheme = rest.substr(0, scheme_end);
  if (scheme != "http" && scheme != "https") return false;
  rest.remove_prefix(scheme_end + 3);

  // An origin is only scheme, host and port: a path or user name is not
  // one, whatever host it names.
  if (rest.find_first_of("/@?#") != std::string_view::npos) return false;
  return is_loopback_authority(rest);
}

std::optional<Authority> split_authority(std::string_view text) {
  if (text.starts_with('[')) {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return std::nullopt;
    Authority parts{text.substr(0, close + 1), std::nullopt};
    if (!rest.empty()) parts.port = rest.substr(1);
    return parts;
  }
  const size_t colon = text.find(':');
  Authority parts{text.substr(0, colon), std::nullopt};
  if (colon != std::string_view::npos) parts.port = text.substr(colon + 1);
  return parts;
}

bool is_loopback_host_header(std::string_view host) { return is_loopback_authority(common::to_lower(host)); }

bool is_loopback_address(std::string_view address) {
  constexpr std::string_view kMappedPrefix = "::ffff:";
  if (address == "::1") return true;
  if (address.substr(0, kMappedPrefix.size()) == kMappedPrefix) address.remove_prefix(kMappedPrefix.size());
  return is_loopback_ipv4(address);
}

}  // namespace lumenfold::lodestar
