#pragma once
// The agents' command lines: each wired to the project's server for this
// run only, through its own options, so nothing is written into the
// user's agent configuration.

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "lumenfold/launcher/options.h"

namespace lumenfold::launcher {

// The agent's program name, looked up on PATH: "claude" or "codex".
std::string agent_program(Agent agent);

// The MCP endpoint of the server on `port`.
std::string mcp_url(int port);

// The arguments after the agent's program: the server on `port` as MCP
// server "tessel"; for Claude Code also the hooks, which run `self` (this
// launcher, absolute) in its hook modes for `root`; then `user_args`.
std::vector<std::string> agent_arguments(Agent agent, int port, const std::filesystem::path& self,
                                         const std::filesystem::path& root, std::span<const std::string> user_args);

// How to connect Claude Code and Codex CLI to the server on `port` by
// hand: one indented command line each.
std::string manual_connection_text(int port);

}  // namespace lumenfold::launcher
