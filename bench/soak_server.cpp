#include "soak_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include <httplib.h>

#include "bench_support.h"
#include "lumenfold/common/data_dir_files.h"

namespace lumenfold::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Short enough that a restart is seen within a few calls' time.
constexpr auto kReadyPollInterval = std::chrono::milliseconds(20);
constexpr auto kStopPollInterval = std::chrono::milliseconds(20);
constexpr auto kRssInterval = std::chrono::seconds(1);
constexpr char kPingBody[] = R"({"jsonrpc":"2.0","id":0,"method":"ping"})";

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void exec_server(const ServerLaunch& launch, const std::vector<std::string>& env_strings) {
  int log = ::open(launch.log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log >= 0) {
    ::dup2(log, STDOUT_FILENO);
    ::dup2(log, STDERR_FILENO);
  }
  int devnull = ::open("/dev/null", O_RDONLY);
  if (devnull >= 0) ::dup2(devnull, STDIN_FILENO);
  // Its own process group, so that a terminal's ^C reaches only the soak,
  // which then stops the server itself.
  ::setpgid(0, 0);
  std::vector<char*> envp;
  for (const std::string& s : env_strings) envp.push_back(const_cast<char*>(s.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(launch.program.c_str()), nullptr};
  ::execve(launch.program.c_str(), argv, envp.data());
  _exit(127);
}

// This process's environment with the launch's variables set over it.
std::vector<std::string> child_environment(const ServerLaunch& launch) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    size_t eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [k, v] : launch.environment) vars[k] = v;
  vars["TESSEL_PROJECT_ROOT"] = launch.project_root.string();
  vars["TSL_DATA_DIR"] = launch.data_dir.string();
  vars["PORT"] = std::to_string(launch.requested_port);
  std::vector<std::string> out;
  for (const auto& [k, v] : vars) out.push_back(k + "=" + v);
  return out;
}

bool answers_ping(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(1, 0);
  client.set_read_timeout(5, 0);
  auto res = client.Post("/mcp", kPingBody, "application/json");
  return res && res->status == 200;
}

// The kernel's TCP states, indexed by the hex code in /proc/net/tcp.
constexpr const char* kTcpStates[] = {"?",         "ESTABLISHED", "SYN_SENT",    "SYN_RECV",   "FIN_WAIT1",
                                      "FIN_WAIT2", "TIME_WAIT",   "CLOSE",       "CLOSE_WAIT", "LAST_ACK",
                                      "LISTEN",    "CLOSING",     "NEW_SYN_RECV"};

void count_sockets(const char* table, int port, std::map<std::string, int>& counts) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    size_t colon = local.rfind(':');
    if (colon == std::string::npos || std::stoi(local.substr(colon + 1), nullptr, 16) != port) continue;
    size_t code = std::stoul(state, nullptr, 16);
    ++counts[code < std::size(kTcpStates) ? kTcpStates[code] : state];
  }
}

}  // namespace

std::string sockets_on_port(int port) {
  std::map<std::string, int> counts;
  count_sockets("/proc/net/tcp", port, counts);
  count_sockets("/proc/net/tcp6", port, counts);
  std::string out;
  for (const auto& [state, n] : counts) out += (out.empty() ? "" : ", ") + state + " x" + std::to_string(n);
  return out.empty() ? "none" : out;
}

std::optional<ServerProcess> ServerProcess::spawn(const ServerLaunch& launch) {
  std::vector<std::string> env = child_environment(launch);
  pid_t pid = ::fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) exec_server(launch, env);
  return ServerProcess(pid);
}

ServerProcess::ServerProcess(ServerProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ServerProcess& ServerProcess::operator=(ServerProcess&& other) noexcept {
  if (this != &other) {
    if (pid_ > 0) kill_hard();
    pid_ = std::exchange(other.pid_, -1);
  }
  return *this;
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) kill_hard();
}

bool ServerProcess::exited() {
  if (pid_ <= 0) return true;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
  pid_ = -1;
  return true;
}

void ServerProcess::kill_hard() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

std::optional<int> ServerProcess::stop(std::chrono::seconds patience) {
  if (pid_ <= 0) return std::nullopt;
  ::kill(pid_, SIGTERM);
  auto deadline = Clock::now() + patience;
  int status = 0;
  while (Clock::now() < deadline) {
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return std::nullopt;
    }
    std::this_thread::sleep_for(kStopPollInterval);
  }
  kill_hard();
  return std::nullopt;
}

std::optional<PortFile> read_port_file(const fs::path& data_dir) {
  fs::path file = data_dir / lumenfold::common::kPortFileName;
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  int port = 0;
  if (!(std::ifstream(file) >> port) || port <= 0) return std::nullopt;
  return PortFile{port, st.st_ino, static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::optional<int> wait_until_ready(ServerProcess& server, const fs::path& data_dir,
                                    const std::optional<PortFile>& previous, Clock::time_point deadline) {
  while (Clock::now() < deadline) {
    if (server.exited()) return std::nullopt;
    std::optional<PortFile> now = read_port_file(data_dir);
    if (now && now != previous && answers_ping(now->port)) return now->port;
    std::this_thread::sleep_for(kReadyPollInterval);
  }
  return std::nullopt;
}

RssSampler::RssSampler(pid_t pid) : pid_(pid) {
  sample(false);
  thread_ = std::thread([this] { run(); });
}

RssSampler::~RssSampler() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void RssSampler::sample(bool periodic) {
  long kib = resident_kib(pid_);
  if (kib < 0) return;
  if (life_.samples == 0) life_.ready_kib = kib;
  if (periodic && life_.start_kib < 0) life_.start_kib = kib;
  life_.peak_kib = std::max(life_.peak_kib, kib);
  life_.end_kib = kib;
  ++life_.samples;
}

void RssSampler::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, kRssInterval, [this] { return stopping_; })) sample(true);
}

RssLife RssSampler::finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sample(false);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  return life_;
}

}  // namespace lumenfold::bench
