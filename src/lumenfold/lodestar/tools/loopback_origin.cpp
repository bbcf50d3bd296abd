#include "lumenfold/lodestar/tools/loopback_origin.h"

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
  if (rest.empty() || rest.find_first_of("/@?#") != std::string_view::npos) return false;
  std::string_view host;
  std::string_view port;  // ":digits" or empty
  if (rest.front() == '[') {
    size_t close = rest.find(']');
    if (close == std::string_view::npos) return false;
    host = rest.substr(0, close + 1);
    port = rest.substr(close + 1);
  } else {
    size_t colon = rest.find(':');
    host = rest.substr(0, colon);
    if (colon != std::string_view::npos) port = rest.substr(colon);
  }
  if (!port.empty() && (port.front() != ':' || !is_digits(port.substr(1)))) return false;
  return is_loopback_host(host);
}

}  // namespace lumenfold::lodestar
