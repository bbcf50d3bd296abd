#include "lumenfold/common/state_file.h"

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/unique_fd.h"

namespace lumenfold::common {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSpareSuffix = ".swap";
// A damaged file set aside is "<name>.corrupt-<unix seconds>": the time
// tells the user when it was found, and the name sorts beside the original.
constexpr std::string_view kCorruptSuffix = ".corrupt-";

// Syncs and closes `fd`, the written version of `target`; the error text
// when either fails. With `empty_spare`, a version that reached the disk
// lets the previous version in the spare go.
std::optional<std::string> sync_and_close(UniqueFd fd, const std::string& target, bool empty_spare) {
  std::optional<std::string> error;
  if (::fsync(fd.get()) != 0) {
    error = "cannot sync " + target + ": " + std::strerror(errno);
  } else if (empty_spare) {
    empty_superseded_spare(target, spare_file_of(target), fd.get());
  }
  if (!fd.close() && !error) error = "cannot close " + target + ": " + std::strerror(errno);
  return error;
}

}  // namespace

// The thread and its queue. The queue is drained before the thread ends.
class StateFileSyncer::Worker {
 public:
  Worker() : owner_(::getpid()), thread_(std::make_unique<std::thread>([this] { run(); })) {}
  ~Worker() {
    // A forked child has no thread to stop, and must not destroy the
    // parent's thread object (that would end the child): it lets go of it
    // unread.
    if (!usable()) {
      static_cast<void>(thread_.release());
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopping_ = true;
    }
    work_.notify_one();
    thread_->join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // False in a child forked from the process that started the thread: the
  // child has no such thread, and the lock may have been held at the fork.
  bool usable() const { return ::getpid() == owner_; }

  // Waits until the version of `target` written last is on disk, and
  // returns the error of its sync if that failed.
  std::optional<std::string> settle(const std::string& target) {
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [&] { return pending_.count(target) == 0; });
    auto failed = errors_.find(target);
    if (failed == errors_.end()) return std::nullopt;
    std::string error = std::move(failed->second);
    errors_.erase(failed);
    return error;
  }

  // Takes `fd`, a descriptor of the version of `target` just written, to
  // sync and close.
  void add(const std::string& target, UniqueFd fd) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      ++pending_[target];
      queue_.push_back({target, std::move(fd)});
    }
    work_.notify_one();
  }

  void hold(bool held) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      held_ = held;
    }
    work_.notify_one();
  }

  std::optional<std::string> settle_all() {
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [&] { return pending_.empty(); });
    if (errors_.empty()) return std::nullopt;
    std::string text;
    for (const auto& [target, error] : errors_) text += (text.empty() ? "" : "\n") + error;
    errors_.clear();
    return text;
  }

 private:
  struct Job {
    std::string target;
    UniqueFd fd;
  };

  void run() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      work_.wait(lock, [&] { return stopping_ || (!held_ && !queue_.empty()); });
      if (queue_.empty()) return;  // stopping, nothing left
      Job job = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      std::optional<std::string> error = sync_and_close(std::move(job.fd), job.target, /*empty_spare=*/true);
      lock.lock();
      if (error) errors_[job.target] = *error;
      if (--pending_[job.target] == 0) pending_.erase(job.target);
      done_.notify_all();
    }
  }

  std::mutex mu_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Job> queue_;
  // Per target, how many of its versions wait in queue_ or are being synced.
  std::map<std::string, int> pending_;
  std::map<std::string, std::string> errors_;
  bool stopping_ = false;
  bool held_ = false;  // tests: versions wait unsynced, as at a power loss
  const pid_t owner_;
  // Declared last: the thread starts once everything it uses is built.
  std::unique_ptr<std::thread> thread_;
};

StateFileSyncer::StateFileSyncer() : worker_(std::make_unique<Worker>()) {}

StateFileSyncer::~StateFileSyncer() = default;

std::optional<std::string> StateFileSyncer::sync_all() {
  // A forked child's writes were synced as they were made.
  return worker_->usable() ? worker_->settle_all() : std::nullopt;
}

void StateFileSyncer::TEST_hold(bool hold) {
  if (hold) sync_all();  // only versions written from now on wait
  worker_->hold(hold);
}

fs::path spare_file_of(const fs::path& target) { return fs::path(target.string() + std::string(kSpareSuffix)); }

std::optional<std::string> write_state_file(const fs::path& target, std::string_view bytes, StateFileSyncer* syncer) {
  const std::string name = target.string();
  StateFileSyncer::Worker* worker = syncer != nullptr && syncer->worker_->usable() ? syncer->worker_.get() : nullptr;
  // The current version becomes the only intact copy while the new one is
  // not on disk yet: it must be on disk before the spare is reused.
  if (worker != nullptr) {
    if (std::optional<std::string> error = worker->settle(name)) return error;
  }
  Result<ExchangeWrite> written = write_by_exchange(target, spare_file_of(target), bytes);
  if (!written) return written.error();
  if (written->outcome == ExchangeOutcome::kNotExchanged) return write_file_atomically(target, bytes);
  if (worker != nullptr) {
    worker->add(name, std::move(written->file));
    return std::nullopt;
  }
  return sync_and_close(std::move(written->file), name, /*empty_spare=*/false);
}

std::optional<Json> read_state_file(const fs::path& path, bool* from_spare) {
  if (from_spare != nullptr) *from_spare = false;
  std::optional<std::string> text = read_file(path);
  if (!text) return std::nullopt;
  if (std::optional<Json> doc = parse_json(*text)) return doc;
  std::optional<std::string> spare = read_file(spare_file_of(path));
  std::optional<Json> doc = spare ? parse_json(*spare) : std::nullopt;
  if (doc && from_spare != nullptr) *from_spare = true;
  return doc;
}

bool is_damaged_state_file(const fs::path& path, StateShape shape) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return false;
  // The spare is not consulted: a torn target is still the file the next
  // write would replace.
  std::optional<std::string> text = read_file(path);
  std::optional<Json> doc = text ? parse_json(*text) : std::nullopt;
  if (!doc) return true;
  return shape == StateShape::kObject ? !doc->is_object() : !doc->is_array();
}

fs::path set_aside_damaged_state_file(const fs::path& path, int64_t now_seconds, std::string_view what) {
  const std::string base = path.string() + std::string(kCorruptSuffix) + std::to_string(now_seconds);
  fs::path aside = base;
  std::error_code ec;
  for (int n = 2; fs::exists(aside, ec); ++n) aside = base + "-" + std::to_string(n);
  fs::rename(path, aside, ec);
  if (ec) {
    throw std::runtime_error("cannot move the unreadable " + std::string(what) + " " + path.string() +
                             " aside: " + ec.message());
  }
  std::fprintf(stderr, "%.*s %s could not be read; kept as %s\n", static_cast<int>(what.size()), what.data(),
               path.c_str(), aside.c_str());
  return aside;
}

}  // namespace lumenfold::common
