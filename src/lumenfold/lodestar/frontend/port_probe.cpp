#include "lumenfold/lodestar/frontend/port_probe.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumenfold::lodestar {

namespace {

bool can_bind(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::optional<int> probe_free_port(int requested) {
  for (int port = requested; port < requested + kPortProbeCount; ++port) {
    if (port > 0 && port <= 65535 && can_bind(port)) return port;
  }
  return std::nullopt;
}

}  // namespace lumenfold::lodestar
