#pragma once
// The hook commands Claude Code runs (tsl --hook NAME): "prime" prints the
// server's priming text when a conversation starts, "stop" reports the
// turn's token usage when the agent finishes answering. A hook never fails
// the agent: it exits 0, says nothing when it has nothing to say, and
// waits a bounded time.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lumenfold::launcher {

// Token usage of one turn: the assistant's messages since the user's last
// prompt.
struct TurnUsage {
  int64_t input_tokens = 0;
  int64_t output_tokens = 0;
  int64_t cache_creation_input_tokens = 0;
  int64_t cache_read_input_tokens = 0;
  std::string model;  // of the turn's last message
};

// Sums the usage of the last turn in a Claude Code transcript (JSON
// lines). A turn begins at a user entry that is a prompt (tool results come
// back as user entries too, and do not begin one). Entries of one message
// (one id) repeat its usage, so each message counts once. Nullopt when the
// turn has no usage. Lines that are not JSON are passed over.
std::optional<TurnUsage> sum_turn_usage(std::string_view transcript);

// Runs hook `name` against the server on `port` for the project at `root`,
// reading the hook's input from stdin. Always returns 0.
int run_hook(const std::string& name, int port, const std::filesystem::path& root);

}  // namespace lumenfold::launcher
