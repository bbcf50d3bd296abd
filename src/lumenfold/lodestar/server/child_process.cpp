#include "lumenfold/lodestar/server/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace lumenfold::lodestar {

namespace {

// Large enough that a search printing many lines costs few system calls.
constexpr size_t kReadChunkBytes = 64 * 1024;

std::string errno_text(int err) { return std::strerror(err); }

// posix_spawn's two attribute objects, destroyed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attr_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // 0 or an errno value.
  int prepare(int stdout_write_fd, int stderr_write_fd, const std::filesystem::path& cwd) {
    int err = 0;
    err = err ? err : posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    err = err ? err : posix_spawn_file_actions_adddup2(&actions_, stdout_write_fd, STDOUT_FILENO);
    err = err ? err : posix_spawn_file_actions_adddup2(&actions_, stderr_write_fd, STDERR_FILENO);
    err = err ? err : posix_spawn_file_actions_addchdir_np(&actions_, cwd.c_str());
    // Its own process group, so that ending it also ends whatever it
    // started; default signal handling and an empty mask, whatever the
    // server's threads use, so a closed pipe ends a writing child.
    sigset_t empty, defaults;
    sigemptyset(&empty);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    err = err ? err : posix_spawnattr_setpgroup(&attr_, 0);
    err = err ? err : posix_spawnattr_setsigmask(&attr_, &empty);
    err = err ? err : posix_spawnattr_setsigdefault(&attr_, &defaults);
    err =
        err ? err
            : posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    return err;
  }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

int poll_timeout_ms(ChildProcess::Deadline deadline) {
  auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  // Rounded up, so the wait never ends just short of the deadline.
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// Whether the child `pid` has ended (or ends before `deadline`). A child
// closes its pipes as it ends, but one that closed them early must not hold
// the call past its deadline. Without process descriptors (old kernels)
// the answer is yes, and the caller's wait blocks.
bool ends_by(pid_t pid, ChildProcess::Deadline deadline) {
  // Through syscall(): some C libraries declare pidfd_open without C linkage.
  common::UniqueFd fd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  if (!fd.valid()) return true;
  pollfd pfd{fd.get(), POLLIN, 0};
  int ready;
  while ((ready = poll(&pfd, 1, poll_timeout_ms(deadline))) < 0 && errno == EINTR) {
  }
  return ready != 0;
}

// The two ends of a pipe, both closed on exec.
struct Pipe {
  common::UniqueFd read;
  common::UniqueFd write;
};

// nullopt with errno set when no pipe can be made.
std::optional<Pipe> open_pipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  return Pipe{common::UniqueFd(fds[0]), common::UniqueFd(fds[1])};
}

}  // namespace

common::Result<ChildProcess> ChildProcess::spawn(std::span<const std::string> argv, const std::filesystem::path& cwd) {
  const std::string& program = argv.front();
  std::optional<Pipe> out = open_pipe();
  if (!out) return common::Error{"cannot create a pipe for " + program + ": " + errno_text(errno)};
  std::optional<Pipe> err_pipe = open_pipe();
  if (!err_pipe) return common::Error{"cannot create a pipe for " + program + ": " + errno_text(errno)};
  SpawnSetup setup;
  int err = setup.prepare(out->write.get(), err_pipe->write.get(), cwd);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (err == 0) err = posix_spawnp(&pid, program.c_str(), setup.actions(), setup.attr(), args.data(), environ);
  // Only the child writes: our copies of the write ends must go, or the
  // reads would never see the end of its output.
  out->write.close();
  err_pipe->write.close();
  if (err != 0) return common::Error{"cannot run " + program + " in " + cwd.string() + ": " + errno_text(err)};
  return ChildProcess(pid, std::move(out->read), std::move(err_pipe->read));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      stdout_(std::move(other.stdout_)),
      stderr_(std::move(other.stderr_)),
      error_output_(std::move(other.error_output_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    release();
    pid_ = std::exchange(other.pid_, -1);
    stdout_ = std::move(other.stdout_);
    stderr_ = std::move(other.stderr_);
    error_output_ = std::move(other.error_output_);
  }
  return *this;
}

ChildProcess::~ChildProcess() { release(); }

void ChildProcess::release() noexcept {
  stdout_.close();
  stderr_.close();
  if (pid_ > 0) {
    // The child is not reaped yet, so its id (and its group's) cannot have
    // been reused; killing a child that already exited does no harm.
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
}

void ChildProcess::read_error_output() {
  char buf[kReadChunkBytes];
  ssize_t n = read(stderr_.get(), buf, sizeof buf);
  if (n < 0) {
    if (errno == EINTR || errno == EAGAIN) return;
    throw std::runtime_error("reading child error output failed: " + errno_text(errno));
  }
  if (n == 0) {
    stderr_.close();
    return;
  }
  const size_t room = kErrorOutputBytes - error_output_.size();
  error_output_.append(buf, std::min(room, static_cast<size_t>(n)));
}

ChildProcess::ReadStatus ChildProcess::read_some(std::string& out, Deadline deadline) {
  for (;;) {
    // poll ignores a closed standard error (fd -1).
    pollfd pfds[2] = {{stdout_.get(), POLLIN, 0}, {stderr_.get(), POLLIN, 0}};
    int ready = poll(pfds, 2, poll_timeout_ms(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("waiting for child output failed: " + errno_text(errno));
    }
    if (ready == 0) return ReadStatus::kTimeout;
    if (pfds[1].revents != 0) read_error_output();
    if (pfds[0].revents == 0) continue;
    char buf[kReadChunkBytes];
    ssize_t n = read(stdout_.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      throw std::runtime_error("reading child output failed: " + errno_text(errno));
    }
    if (n == 0) return ReadStatus::kEnd;
    out.append(buf, static_cast<size_t>(n));
    return ReadStatus::kData;
  }
}

std::optional<int> ChildProcess::wait_exit_code(Deadline deadline) {
  while (stderr_.valid()) {
    pollfd pfd{stderr_.get(), POLLIN, 0};
    int ready = poll(&pfd, 1, poll_timeout_ms(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("waiting for child error output failed: " + errno_text(errno));
    }
    if (ready == 0) break;
    read_error_output();
  }
  if (stderr_.valid() || !ends_by(pid_, deadline)) {
    release();
    return std::nullopt;
  }
  // Looked at without reaping: while the child is not reaped its id, and
  // its process group's, cannot be reused, so release() can still end what
  // it started before reaping it.
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  std::optional<int> code;
  if (info.si_code == CLD_EXITED) code = info.si_status;
  release();
  return code;
}

}  // namespace lumenfold::lodestar
