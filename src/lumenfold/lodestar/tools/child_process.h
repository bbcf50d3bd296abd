#pragma once
// One running child program whose standard output the server reads, such as
// the text search of fallback_rg. The child inherits the server's
// environment, reads nothing (its standard input is /dev/null) and its
// standard error is discarded.
//
// The owner may stop reading at any time: destroying the object kills the
// child's whole process group (the child and anything it started) and reaps
// the child, so no process outlives the call and no zombie is left behind.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <span>
#include <string>

#include "lumenfold/common/result.h"

namespace lumenfold::lodestar {

class ChildProcess {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  // Starts `argv[0]`, looked up on the search path, with the arguments
  // `argv[1..]` in the working directory `cwd`. An error names the program
  // and the directory when it cannot be started (not found, not
  // executable, no such directory).
  // REQUIRES: argv is not empty.
  static common::Result<ChildProcess> spawn(std::span<const std::string> argv, const std::filesystem::path& cwd);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  enum class ReadStatus {
    kData,     // bytes were appended to `out`
    kEnd,      // the child closed its output
    kTimeout,  // `deadline` passed before anything arrived
  };
  // Waits until output arrives (or the deadline passes) and appends what
  // is available to `out`. Throws std::runtime_error on a read error.
  ReadStatus read_some(std::string& out, Deadline deadline);

  pid_t pid() const { return pid_; }

 private:
  ChildProcess(pid_t pid, int stdout_fd) : pid_(pid), stdout_fd_(stdout_fd) {}
  // Kills the process group, reaps the child and closes the pipe.
  void release() noexcept;

  pid_t pid_ = -1;
  int stdout_fd_ = -1;
};

}  // namespace lumenfold::lodestar
