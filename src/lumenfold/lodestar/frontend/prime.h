#pragma once
// The priming text: what the server remembers about the project (recent
// edits, decisions, memories), for the agent's hooks to inject when a
// conversation starts or is compacted.

#include <string>

namespace lumenfold::lodestar {

class ServerState;

// The text of GET /prime, lines joined by "\n" without a trailing break.
// Reconciles the context store first (through the memory search). Throws
// when the action graph or the store cannot be read or written.
std::string prime_text(ServerState& state);

}  // namespace lumenfold::lodestar
