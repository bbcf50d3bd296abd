#include "lumenfold/launcher/server_lease.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "lumenfold/common/data_dir_files.h"
#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/launcher/process.h"

namespace lumenfold::launcher {

namespace fs = std::filesystem;

namespace {

// Launchers take this lock to find, start or stop the server one at a time.
constexpr char kLaunchersLockFileName[] = "launcher.lock";
// One file per running launcher, named by its pid, locked while it runs.
constexpr char kLeaseDirName[] = "leases";
// The pid of the server a launcher started; no such file for a server the
// user started, which launchers leave alone.
constexpr char kManagedFileName[] = "lodestar.managed";
// Where a started server's output goes.
constexpr char kServerLogFileName[] = "lodestar.log";
// A server starts in well under a second; ten leave room for a busy
// machine without keeping the user waiting on one that never will.
constexpr std::chrono::seconds kStartTimeout{10};
constexpr std::chrono::milliseconds kStartPollInterval{50};
// The server stops within a second of SIGTERM; five allow for a slow disk.
constexpr std::chrono::seconds kStopTimeout{5};
// Enough of the server's log to show why it did not start.
constexpr size_t kLogTailLines = 20;

std::optional<int> recorded_port(const fs::path& data_dir) {
  std::optional<std::string> text = common::read_file(data_dir / common::kPortFileName);
  if (!text) return std::nullopt;
  std::optional<int64_t> port = common::parse_integer(common::trim(*text));
  if (!port || *port <= 0) return std::nullopt;
  return static_cast<int>(*port);
}

// The last lines of the server's log, each indented, after a line break.
std::string log_tail(const fs::path& data_dir) {
  fs::path log = data_dir / kServerLogFileName;
  std::string text = common::read_file(log).value_or("");
  std::vector<std::string_view> lines = common::split_lines(text);
  size_t first = lines.size() > kLogTailLines ? lines.size() - kLogTailLines : 0;
  std::string tail = "\nlast lines of " + log.string() + ":";
  for (size_t i = first; i < lines.size(); ++i) tail += "\n  " + std::string(lines[i]);
  return tail;
}

// Starts lodestar for `root` and waits until it answers as the server of
// `root`. Refuses when it exits first or does not answer in time.
common::Result<RunningServer> start_server(const fs::path& root, const fs::path& lodestar) {
  fs::path data_dir = data_dir_of(root);
  std::vector<std::string> environment = {"TESSEL_PROJECT_ROOT=" + root.string(), "TSL_DATA_DIR=" + data_dir.string()};
  common::Result<pid_t> pid = start_in_background({lodestar.string()}, environment, data_dir / kServerLogFileName);
  if (!pid) return common::Error{pid.error()};
  auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  for (;;) {
    bool exited = child_has_exited(*pid);
    std::optional<RunningServer> server = find_running_server(root);
    if (server && server->health.pid == *pid) {
      if (auto error = common::write_file_atomically(data_dir / kManagedFileName, std::to_string(*pid))) {
        std::cerr << "tsl: warning: " << *error << "\n";
      }
      return *server;
    }
    if (exited) return common::Error{"lodestar exited before it answered" + log_tail(data_dir)};
    if (std::chrono::steady_clock::now() > deadline) {
      terminate_and_wait(*pid, kStopTimeout);
      return common::Error{"lodestar did not answer within " + std::to_string(kStartTimeout.count()) + " s" +
                           log_tail(data_dir)};
    }
    std::this_thread::sleep_for(kStartPollInterval);
  }
}

}  // namespace

fs::path data_dir_of(const fs::path& root) { return root / kDataDirName; }

common::Result<FileLock> FileLock::wait_for(const fs::path& path) {
  common::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.valid()) return common::Error{"cannot open " + path.string() + ": " + std::strerror(errno)};
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return common::Error{"cannot lock " + path.string() + ": " + std::strerror(errno)};
  }
  return FileLock(std::move(fd));
}

std::optional<FileLock> FileLock::try_take(const fs::path& path, bool create) {
  int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
  common::UniqueFd fd(::open(path.c_str(), flags, 0644));
  if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
  return FileLock(std::move(fd));
}

common::Result<FileLock> lock_launchers(const fs::path& data_dir) {
  return FileLock::wait_for(data_dir / kLaunchersLockFileName);
}

std::optional<RunningServer> find_running_server(const fs::path& root) {
  std::optional<int> port = recorded_port(data_dir_of(root));
  if (!port) return std::nullopt;
  std::optional<ServerHealth> health = query_health(*port);
  if (!health || health->root != root.string()) return std::nullopt;
  return RunningServer{*port, std::move(*health)};
}

int count_live_leases(const fs::path& data_dir, bool remove_stale) {
  std::error_code ec;
  int live = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(data_dir / kLeaseDirName, ec)) {
    if (!FileLock::try_take(entry.path(), /*create=*/false)) {
      ++live;
    } else if (remove_stale) {
      fs::remove(entry.path(), ec);
    }
  }
  return live;
}

std::optional<int64_t> managed_server_pid(const fs::path& data_dir) {
  std::optional<std::string> text = common::read_file(data_dir / kManagedFileName);
  if (!text) return std::nullopt;
  return common::parse_integer(common::trim(*text));
}

bool stop_server(const fs::path& data_dir, int64_t pid) {
  if (!terminate_and_wait(static_cast<pid_t>(pid), kStopTimeout)) return false;
  if (managed_server_pid(data_dir) == pid) {
    std::error_code ec;
    fs::remove(data_dir / kManagedFileName, ec);
  }
  return true;
}

common::Result<ServerLease> ServerLease::acquire(const fs::path& root, const fs::path& lodestar,
                                                 const FileLock& /*launchers_lock*/) {
  fs::path data_dir = data_dir_of(root);
  std::optional<RunningServer> server = find_running_server(root);
  if (!server) {
    common::Result<RunningServer> started = start_server(root, lodestar);
    if (!started) return common::Error{started.error()};
    server = std::move(*started);
  }
  std::error_code ec;
  fs::create_directories(data_dir / kLeaseDirName, ec);
  fs::path lease_file = data_dir / kLeaseDirName / std::to_string(::getpid());
  std::optional<FileLock> lease = FileLock::try_take(lease_file, /*create=*/true);
  if (!lease) return common::Error{"cannot take the lease " + lease_file.string()};
  return ServerLease(root, server->port, std::move(*lease), lease_file);
}

void ServerLease::release() {
  if (!lease_.held()) return;
  fs::path data_dir = data_dir_of(root_);
  common::Result<FileLock> lock = lock_launchers(data_dir);
  std::error_code ec;
  fs::remove(lease_file_, ec);
  lease_.unlock();
  if (!lock || count_live_leases(data_dir, /*remove_stale=*/true) > 0) return;
  std::optional<int64_t> managed = managed_server_pid(data_dir);
  std::optional<RunningServer> server = find_running_server(root_);
  if (!managed || !server || server->health.pid != *managed) return;
  if (!stop_server(data_dir, *managed)) {
    std::cerr << "tsl: lodestar (pid " << *managed << ") did not stop within " << kStopTimeout.count() << " s\n";
  }
}

}  // namespace lumenfold::launcher
