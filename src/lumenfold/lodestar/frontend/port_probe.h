#pragma once
// Choosing the server's port, the way its listening sockets will bind it.

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumenfold::lodestar {

// How many ports from the requested one are tried before giving up.
inline constexpr int kPortProbeCount = 20;

// Options of every listening socket, and of the probe that stands in for
// it: address reuse, so a server restarted after a crash can bind while the
// connections of the dead one linger (TIME_WAIT sockets keep the options of
// the socket they came from), and no port sharing (SO_REUSEPORT), so that
// a second server can never listen on the port this one holds.
void apply_listener_options(int fd);

// Whether a listening socket set up as the listener's would bind each of
// `hosts` (numeric addresses or names) at `port`.
bool can_listen(const std::vector<std::string>& hosts, int port);

// The ports to try, in order: `recorded` (the port of this data directory's
// previous server, which the agent was told) when given, then `requested`
// to requested + 19, each once.
std::vector<int> candidate_ports(int requested, std::optional<int> recorded);

// The first of `candidates` at which every one of `hosts` can listen;
// nullopt when none. The probe sockets are closed again, so another process
// may still take the port before the server binds it.
std::optional<int> probe_free_port(std::span<const int> candidates, const std::vector<std::string>& hosts);

}  // namespace lumenfold::lodestar
