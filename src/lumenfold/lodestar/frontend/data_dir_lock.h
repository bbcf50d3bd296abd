#pragma once
// One server per data directory. Two servers on one directory would each
// read, change and write the same state files, and each would lose what the
// other acknowledged.

#include <filesystem>

#include "lumenfold/common/result.h"
#include "lumenfold/common/unique_fd.h"

namespace lumenfold::lodestar {

// An advisory lock (flock) on `data_dir`/common::kServerLockFileName (it holds
// the pid and port of the server that has it, for the message a second
// server prints), held until this
// object is destroyed or the process ends, however it ends: the system
// releases it with the descriptor, so a killed server leaves no stale lock.
class DataDirLock {
 public:
  // Takes the lock without waiting, creating the file when missing. When
  // another process holds it, the error names that server ("another lodestar
  // (pid 123, port 8080) is serving <data_dir>"); other failures name the
  // file and the system's reason.
  static common::Result<DataDirLock> acquire(const std::filesystem::path& data_dir);

  // Writes "<pid> <port>" into the lock file.
  void record(int port);

 private:
  explicit DataDirLock(common::UniqueFd fd) : fd_(std::move(fd)) {}

  common::UniqueFd fd_;
};

}  // namespace lumenfold::lodestar
