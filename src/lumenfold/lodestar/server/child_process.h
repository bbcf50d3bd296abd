#pragma once
// One running child program whose standard output the server reads, such as
// the text search of fallback_rg. The child inherits the server's
// environment and reads nothing (its standard input is /dev/null). Its
// standard error is read alongside its output: the first
// kErrorOutputBytes bytes are kept (error_output()), the rest dropped, so a
// child that writes many messages never stalls on a full pipe.
//
// The owner may stop reading at any time: destroying the object kills the
// child's whole process group (the child and anything it started) and reaps
// the child, so no process outlives the call and no zombie is left behind.
// An owner that read to the end may instead ask how the child ended
// (wait_exit_code).

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "lumenfold/common/result.h"
#include "lumenfold/common/unique_fd.h"

namespace lumenfold::lodestar {

// Enough for the first lines of any message a child prints before it fails.
inline constexpr size_t kErrorOutputBytes = 4096;

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
  // is available to `out`; standard error that arrives meanwhile is kept.
  // Throws std::runtime_error on a read error.
  ReadStatus read_some(std::string& out, Deadline deadline);

  // After read_some gave kEnd: reads the rest of standard error, waits for
  // the child to end and reaps it (anything it started is killed). Returns
  // its exit status; nullopt when a signal ended it, or when it was still
  // running at `deadline` (it is then killed). Either way the object owns
  // no process afterwards. Throws std::runtime_error on a read error.
  std::optional<int> wait_exit_code(Deadline deadline);

  // The start of what the child wrote to standard error so far (at most
  // kErrorOutputBytes bytes, as written).
  const std::string& error_output() const { return error_output_; }

  pid_t pid() const { return pid_; }

 private:
  ChildProcess(pid_t pid, common::UniqueFd stdout_fd, common::UniqueFd stderr_fd)
      : pid_(pid), stdout_(std::move(stdout_fd)), stderr_(std::move(stderr_fd)) {}
  // Kills the process group, reaps the child and closes the pipes.
  void release() noexcept;
  // Reads what standard error has ready; closes it at its end.
  void read_error_output();

  pid_t pid_ = -1;
  common::UniqueFd stdout_;
  common::UniqueFd stderr_;  // closed once the child closed its end
  std::string error_output_;
};

}  // namespace lumenfold::lodestar
