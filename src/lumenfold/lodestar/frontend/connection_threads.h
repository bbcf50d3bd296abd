#pragma once
// The task queue of lodestar's HTTP servers: a thread per open connection.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

namespace lumenfold::lodestar {

// cpp-httplib serves a connection on one queued task for as long as it
// stays open, reading each request on that thread. A fixed pool of a few
// threads is therefore held by a few slow or idle clients, and a ping then
// waits behind them. This queue starts a thread whenever no thread is free,
// up to `max_threads`, and keeps idle threads for the next connections.
// Beyond `max_threads` open connections, new ones wait for a free thread.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(size_t max_threads);
  ~ConnectionThreads() override;
  ConnectionThreads(const ConnectionThreads&) = delete;
  ConnectionThreads& operator=(const ConnectionThreads&) = delete;

  void enqueue(std::function<void()> task) override;
  // Runs the queued tasks, then joins every thread.
  void shutdown() override;

 private:
  void work();

  const size_t max_threads_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;  // GUARDED_BY(mutex_)
  std::vector<std::thread> threads_;         // GUARDED_BY(mutex_)
  size_t idle_ = 0;                          // GUARDED_BY(mutex_)
  bool stopping_ = false;                    // GUARDED_BY(mutex_)
};

}  // namespace lumenfold::lodestar
