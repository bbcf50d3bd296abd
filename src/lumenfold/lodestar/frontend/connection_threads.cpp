#include "lumenfold/lodestar/frontend/connection_threads.h"

#include <utility>

namespace lumenfold::lodestar {

ConnectionThreads::ConnectionThreads(size_t max_threads) : max_threads_(max_threads) {}

ConnectionThreads::~ConnectionThreads() { shutdown(); }

void ConnectionThreads::enqueue(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    // A thread that is idle now takes the task; counting the queued tasks
    // against the idle threads keeps two quick enqueues from both relying
    // on the same idle thread.
    if (!stopping_ && tasks_.size() > idle_ && threads_.size() < max_threads_)
      threads_.emplace_back([this] { work(); });
  }
  ready_.notify_one();
}

void ConnectionThreads::shutdown() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    threads.swap(threads_);
  }
  ready_.notify_all();
  for (std::thread& thread : threads) thread.join();
}

void ConnectionThreads::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    ++idle_;
    ready_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
    --idle_;
    if (tasks_.empty()) return;  // stopping, nothing left to run
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    lock.lock();
  }
}

}  // namespace lumenfold::lodestar
