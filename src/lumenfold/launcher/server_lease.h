#pragma once
// One lodestar per project, shared by every launcher started in it. Each
// launcher holds a lease (a locked file in the data directory) while its
// agent runs; the last one out stops the server if a launcher started it.
// A server the user started by hand is never stopped here.

#include <cstdint>
#include <filesystem>
#include <optional>

#include "lumenfold/common/result.h"
#include "lumenfold/common/unique_fd.h"
#include "lumenfold/launcher/loopback.h"

namespace lumenfold::launcher {

// The project's data directory, below its root.
inline constexpr char kDataDirName[] = ".tessel";

std::filesystem::path data_dir_of(const std::filesystem::path& root);

// An advisory lock (flock) on one file, held until destroyed. The system
// drops it with the process, so a launcher killed with -9 holds nothing.
class FileLock {
 public:
  // Waits for the lock on `path`, creating the file.
  static common::Result<FileLock> wait_for(const std::filesystem::path& path);
  // Takes the lock without waiting; nullopt when another process holds it
  // or the file cannot be opened (with `create`, it is made when missing).
  static std::optional<FileLock> try_take(const std::filesystem::path& path, bool create);

  bool held() const { return fd_.valid(); }
  void unlock() { fd_.reset(); }

 private:
  explicit FileLock(common::UniqueFd fd) : fd_(std::move(fd)) {}
  common::UniqueFd fd_;
};

// Serialises finding or starting the server, and stopping it at the end,
// among the launchers of one data directory.
common::Result<FileLock> lock_launchers(const std::filesystem::path& data_dir);

struct RunningServer {
  int port = 0;
  ServerHealth health;
};

// The server of `root`: the port named by the data directory's port file
// answers /health naming `root`. Nullopt otherwise.
std::optional<RunningServer> find_running_server(const std::filesystem::path& root);

// How many launchers hold a lease in `data_dir`. With `remove_stale`, the
// leases of launchers that are gone are removed; call it so only while
// holding lock_launchers.
int count_live_leases(const std::filesystem::path& data_dir, bool remove_stale);

// The pid of the server a launcher started, when one is recorded.
std::optional<int64_t> managed_server_pid(const std::filesystem::path& data_dir);

// SIGTERM to the server `pid`, waiting up to five seconds for it to exit;
// then forgets it as launcher-started. True when it is gone.
bool stop_server(const std::filesystem::path& data_dir, int64_t pid);

// This launcher's use of the project's server.
class ServerLease {
 public:
  // Reuses the running server of `root`, or starts `lodestar` for it and
  // waits (up to ten seconds) until it answers; then takes this launcher's
  // lease. The caller holds `launchers_lock` (lock_launchers). The error
  // says why the server did not start, with the end of its log.
  static common::Result<ServerLease> acquire(const std::filesystem::path& root, const std::filesystem::path& lodestar,
                                             const FileLock& launchers_lock);

  ServerLease(ServerLease&&) = default;
  ServerLease& operator=(ServerLease&&) = delete;
  ~ServerLease() { release(); }

  int port() const { return port_; }

  // Gives the lease back; when no other launcher holds one, stops the
  // server if a launcher started it. Does nothing the second time.
  void release();

 private:
  ServerLease(std::filesystem::path root, int port, FileLock lease, std::filesystem::path lease_file)
      : root_(std::move(root)), port_(port), lease_(std::move(lease)), lease_file_(std::move(lease_file)) {}

  std::filesystem::path root_;
  int port_ = 0;
  FileLock lease_;
  std::filesystem::path lease_file_;
};

}  // namespace lumenfold::launcher
