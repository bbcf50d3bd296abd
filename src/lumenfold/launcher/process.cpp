#include "lumenfold/launcher/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "lumenfold/common/file_io.h"

extern char** environ;

namespace lumenfold::launcher {

namespace fs = std::filesystem;

namespace {

// Exit status of a child whose exec failed, as shells report "not found".
constexpr int kExecFailedStatus = 127;
// The shell convention for a program ended by a signal.
constexpr int kSignalStatusBase = 128;
constexpr std::chrono::milliseconds kExitPollInterval{20};

// The running foreground program, for the signal handler to pass signals on.
volatile sig_atomic_t g_foreground_pid = 0;

void pass_signal_on(int signal_number) {
  if (g_foreground_pid > 0) ::kill(static_cast<pid_t>(g_foreground_pid), signal_number);
}

// NUL-terminated pointers into `strings`, which must outlive them.
std::vector<char*> c_strings(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// In a new child, before exec: the signals the launcher changed are the
// program's own again.
void restore_default_signals() {
  for (int signal_number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) ::signal(signal_number, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// `added` ("NAME=value" each), then this process's environment without
// the names `added` sets.
std::vector<std::string> with_inherited_environment(const std::vector<std::string>& added) {
  std::vector<std::string> env = added;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view inherited = *entry;
    std::string_view name = inherited.substr(0, inherited.find('=') + 1);
    bool replaced = false;
    for (const std::string& own : added) replaced = replaced || own.starts_with(name);
    if (!replaced) env.emplace_back(inherited);
  }
  return env;
}

int exit_status_of(int wait_status) {
  if (WIFSIGNALED(wait_status)) return kSignalStatusBase + WTERMSIG(wait_status);
  return WEXITSTATUS(wait_status);
}

// Whether `pid` has ended: no such process, or a zombie that its parent
// (say, the launcher that started it, busy running its agent) has not
// reaped yet.
bool has_ended(pid_t pid) {
  if (::kill(pid, 0) != 0) return errno == ESRCH;
  std::optional<std::string> stat = common::read_file("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return false;
  // "pid (command) S ...": the state follows the command's closing parenthesis.
  size_t close = stat->rfind(')');
  return close != std::string::npos && close + 2 < stat->size() && (*stat)[close + 2] == 'Z';
}

bool is_executable_file(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

// Restores the signal dispositions the foreground run changed.
class ForegroundSignals {
 public:
  ForegroundSignals() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction forward {};
    forward.sa_handler = pass_signal_on;
    ::sigaction(SIGINT, &ignore, &saved_[0]);
    ::sigaction(SIGQUIT, &ignore, &saved_[1]);
    ::sigaction(SIGTERM, &forward, &saved_[2]);
    ::sigaction(SIGHUP, &forward, &saved_[3]);
  }
  ~ForegroundSignals() {
    g_foreground_pid = 0;
    ::sigaction(SIGINT, &saved_[0], nullptr);
    ::sigaction(SIGQUIT, &saved_[1], nullptr);
    ::sigaction(SIGTERM, &saved_[2], nullptr);
    ::sigaction(SIGHUP, &saved_[3], nullptr);
  }
  ForegroundSignals(const ForegroundSignals&) = delete;
  ForegroundSignals& operator=(const ForegroundSignals&) = delete;

 private:
  struct sigaction saved_[4]{};
};

}  // namespace

fs::path self_path() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

std::optional<fs::path> find_program(std::string_view name, bool beside_self) {
  if (beside_self) {
    fs::path beside = self_path().parent_path() / name;
    if (is_executable_file(beside)) return beside;
  }
  const char* path = std::getenv("PATH");
  std::string_view dirs = path == nullptr ? "" : path;
  while (!dirs.empty()) {
    size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    dirs = colon == std::string_view::npos ? "" : dirs.substr(colon + 1);
    fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
    if (is_executable_file(candidate)) return fs::absolute(candidate);
  }
  return std::nullopt;
}

common::Result<int> run_in_foreground(const std::vector<std::string>& argv, bool stdout_to_stderr) {
  std::vector<char*> args = c_strings(argv);
  ForegroundSignals signals;
  pid_t pid = ::fork();
  if (pid < 0) return common::Error{std::string("cannot start ") + argv[0] + ": " + std::strerror(errno)};
  if (pid == 0) {
    restore_default_signals();
    if (stdout_to_stderr) ::dup2(STDERR_FILENO, STDOUT_FILENO);
    ::execv(args[0], args.data());
    std::_Exit(kExecFailedStatus);
  }
  g_foreground_pid = pid;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return common::Error{std::string("lost ") + argv[0] + ": " + std::strerror(errno)};
  }
  return exit_status_of(status);
}

common::Result<pid_t> start_in_background(const std::vector<std::string>& argv,
                                          const std::vector<std::string>& environment, const fs::path& log_file) {
  std::vector<char*> args = c_strings(argv);
  std::vector<std::string> env_strings = with_inherited_environment(environment);
  std::vector<char*> env = c_strings(env_strings);
  pid_t pid = ::fork();
  if (pid < 0) return common::Error{std::string("cannot start ") + argv[0] + ": " + std::strerror(errno)};
  if (pid == 0) {
    ::setsid();
    restore_default_signals();
    int null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int log_fd = ::open(log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (null_fd < 0 || log_fd < 0) std::_Exit(kExecFailedStatus);
    ::dup2(null_fd, STDIN_FILENO);
    ::dup2(log_fd, STDOUT_FILENO);
    ::dup2(log_fd, STDERR_FILENO);
    ::execve(args[0], args.data(), env.data());
    std::_Exit(kExecFailedStatus);
  }
  return pid;
}

bool child_has_exited(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == pid;
}

bool terminate_and_wait(pid_t pid, std::chrono::milliseconds limit) {
  if (::kill(pid, SIGTERM) != 0) return errno == ESRCH;
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    child_has_exited(pid);
    if (has_ended(pid)) return true;
    std::this_thread::sleep_for(kExitPollInterval);
  }
  return false;
}

}  // namespace lumenfold::launcher
