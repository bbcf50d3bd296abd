#pragma once
// Choosing the server's port.

#include <optional>

namespace lumenfold::lodestar {

// How many ports from the requested one are tried before giving up.
inline constexpr int kPortProbeCount = 20;

// The first port from `requested` to requested + 19 that a TCP socket with
// address reuse can bind on all IPv4 interfaces; nullopt when none can.
// The probe socket is closed again, so another process may still take the
// port before the server binds it.
std::optional<int> probe_free_port(int requested);

}  // namespace lumenfold::lodestar
