#include "lumenfold/lodestar/frontend/port_probe.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "lumenfold/common/unique_fd.h"

namespace lumenfold::lodestar {

namespace {

// Binds the first address `host` resolves to at `port`, as cpp-httplib's
// listener does (IPv6 sockets accept IPv4 too); closes the socket again.
bool can_bind(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_family = AF_UNSPEC;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool bound = false;
  for (addrinfo* address = found; address != nullptr && !bound; address = address->ai_next) {
    common::UniqueFd fd(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
    if (!fd.valid()) continue;
    apply_listener_options(fd.get());
    if (address->ai_family == AF_INET6) {
      int no = 0;
      ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
    }
    bound = ::bind(fd.get(), address->ai_addr, address->ai_addrlen) == 0;
  }
  ::freeaddrinfo(found);
  return bound;
}

bool is_port(int port) { return port > 0 && port <= 65535; }

}  // namespace

void apply_listener_options(int fd) {
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

bool can_listen(const std::vector<std::string>& hosts, int port) {
  return std::all_of(hosts.begin(), hosts.end(), [port](const std::string& host) { return can_bind(host, port); });
}

std::vector<int> candidate_ports(int requested, std::optional<int> recorded) {
  std::vector<int> ports;
  if (recorded && is_port(*recorded)) ports.push_back(*recorded);
  for (int port = requested; port < requested + kPortProbeCount; ++port) {
    if (is_port(port) && std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
  }
  return ports;
}

std::optional<int> probe_free_port(std::span<const int> candidates, const std::vector<std::string>& hosts) {
  for (int port : candidates) {
    if (can_listen(hosts, port)) return port;
  }
  return std::nullopt;
}

}  // namespace lumenfold::lodestar
