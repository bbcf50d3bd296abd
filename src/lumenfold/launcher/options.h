#pragma once
// What the launcher is asked to do: its own options, picked out of the
// command line, and the agent's arguments, passed on untouched; and which
// project it works for.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/result.h"

namespace lumenfold::launcher {

enum class Agent { kClaudeCode, kCodex };

// Codex CLI when the program was started as "tslc" (any directory),
// Claude Code otherwise.
Agent agent_for_program_name(std::string_view argv0);

enum class Command { kLaunch, kStatus, kStop, kHelp, kHook };

struct Options {
  Command command = Command::kLaunch;
  std::optional<std::filesystem::path> root;  // --root DIR
  std::string hook;                           // --hook NAME: "prime" or "stop"
  int port = 0;                               // --port N, the hooks' server
  std::vector<std::string> agent_args;        // all the rest, in order
};

// Splits `args` (argv without the program name). The launcher owns
// --root DIR (or --root=DIR), --status, --stop and --help anywhere before
// "--", and the hooks' mode: "--hook NAME" first, then --port N and --root
// DIR. Every other argument, and everything after "--", is the agent's.
// Refuses an option without its value and a port that is not one.
common::Result<Options> parse_options(std::span<const std::string> args);

// The nearest of `dir` and its ancestors holding a ".git" entry (the
// directory of a repository, or the file of a worktree or submodule);
// `dir` itself when none does.
std::filesystem::path find_project_root(const std::filesystem::path& dir);

// The canonical project root: `root_option` when given (refused unless it
// is a directory), else the one around the current directory.
common::Result<std::filesystem::path> resolve_project_root(const std::optional<std::filesystem::path>& root_option);

}  // namespace lumenfold::launcher
