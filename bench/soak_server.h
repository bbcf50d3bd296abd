#pragma once
// The server under soak: one lodestar process at a time on a fixed data
// directory, started, killed and restarted by the soak's killer, and the
// resident memory of each of its lives.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lumenfold::bench {

// How one lodestar is started: the program, its project and data
// directory, the port it is asked for, extra environment and where its
// output goes (appended).
struct ServerLaunch {
  std::filesystem::path program;
  std::filesystem::path project_root;
  std::filesystem::path data_dir;
  int requested_port = 0;
  std::map<std::string, std::string> environment;
  std::filesystem::path log_file;
};

// One running lodestar. The destructor kills it (SIGKILL) if it still runs
// and always reaps it, so no process outlives its owner and no zombie is
// left.
class ServerProcess {
 public:
  // Forks and executes the server; nullopt when fork fails. The child's
  // stdout and stderr are appended to launch.log_file.
  static std::optional<ServerProcess> spawn(const ServerLaunch& launch);
  ServerProcess(ServerProcess&& other) noexcept;
  ServerProcess& operator=(ServerProcess&& other) noexcept;
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess();

  pid_t pid() const { return pid_; }
  // Whether the process has exited (it is then reaped).
  bool exited();
  // SIGKILL, then waitpid: when this returns the process is gone.
  void kill_hard();
  // SIGTERM and wait up to `patience`; then SIGKILL. Returns the exit
  // status, or nullopt when it had to be killed or died from a signal.
  std::optional<int> stop(std::chrono::seconds patience);

 private:
  explicit ServerProcess(pid_t pid) : pid_(pid) {}
  pid_t pid_ = -1;
};

// The port the server last wrote to `data_dir`/mcp_port, with the file's
// identity, so that a restart's fresh write can be told from the old one.
struct PortFile {
  int port = 0;
  ino_t inode = 0;
  int64_t mtime_ns = 0;
  bool operator==(const PortFile&) const = default;
};
std::optional<PortFile> read_port_file(const std::filesystem::path& data_dir);

// Waits until the server has written a port file other than `previous`
// and answers "ping" on that port, or exits, or `deadline` passes. Returns
// the port.
std::optional<int> wait_until_ready(ServerProcess& server, const std::filesystem::path& data_dir,
                                    const std::optional<PortFile>& previous,
                                    std::chrono::steady_clock::time_point deadline);

// The TCP sockets whose local port is `port`, counted by state from
// /proc/net/tcp and tcp6 ("FIN_WAIT2 x3, TIME_WAIT x1"), or "none": what
// may keep a restarted server off its old port.
std::string sockets_on_port(int port);

// Resident memory of one server life, in KiB (-1: not sampled). The
// server loads its graph and caches on its first calls, so growth is
// measured from the first sample a second into the life, not from the
// sample taken when it first answered.
struct RssLife {
  long ready_kib = -1;  // when it first answered
  long start_kib = -1;  // a second later; -1 for a shorter life
  long peak_kib = -1;
  long end_kib = -1;
  int samples = 0;
};

// Samples a process's VmRSS once at construction, then every second on
// its own thread, and once more at finish().
class RssSampler {
 public:
  explicit RssSampler(pid_t pid);
  ~RssSampler();
  RssSampler(const RssSampler&) = delete;
  RssSampler& operator=(const RssSampler&) = delete;
  // Takes the last sample (call it while the process still runs) and
  // stops the thread. Returns the life's figures.
  RssLife finish();

 private:
  void sample(bool periodic);
  void run();

  pid_t pid_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  RssLife life_;
  std::thread thread_;
};

}  // namespace lumenfold::bench
