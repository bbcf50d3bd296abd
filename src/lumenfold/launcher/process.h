#pragma once
// The programs the launcher runs: where they are, the agent or the scanner
// in the foreground, the server in the background, and stopping a server.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/result.h"

namespace lumenfold::launcher {

// The absolute path of this launcher's executable.
std::filesystem::path self_path();

// The executable `name`: beside this launcher when `beside_self` and one is
// there, else the first on PATH; nullopt when there is none.
std::optional<std::filesystem::path> find_program(std::string_view name, bool beside_self);

// Runs `argv` (argv[0] a path) with the terminal and waits for it. Ctrl-C
// belongs to the program meanwhile: the launcher ignores SIGINT and SIGQUIT,
// and passes SIGTERM and SIGHUP on. With `stdout_to_stderr` the program's
// standard output goes to the launcher's standard error. Returns its exit
// status, 128 + the signal's number when a signal ended it; an error when
// it could not be started.
common::Result<int> run_in_foreground(const std::vector<std::string>& argv, bool stdout_to_stderr);

// Starts `argv` in the background, in a session of its own (so the
// terminal's signals never reach it), with stdin from /dev/null, stdout and
// stderr appended to `log_file`, and `environment` added to this process's
// environment ("NAME=value" each). Returns its pid.
common::Result<pid_t> start_in_background(const std::vector<std::string>& argv,
                                          const std::vector<std::string>& environment,
                                          const std::filesystem::path& log_file);

// Whether the child `pid` of this process has exited (it is reaped then).
bool child_has_exited(pid_t pid);

// Sends SIGTERM to `pid` and waits up to `limit` for it to be gone,
// reaping it when it is a child of this process. True when it is gone.
bool terminate_and_wait(pid_t pid, std::chrono::milliseconds limit);

}  // namespace lumenfold::launcher
