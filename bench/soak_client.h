#pragma once
// The soak's clients: each sends a seeded random mix of the agent's tool
// calls and plain routes, retries a call that got no answer until the
// server is back, and records in the ledger every memory and edit whose
// call was acknowledged (HTTP 200 and "ok": true in the tool result).

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "soak_checks.h"

namespace lumenfold::bench {

enum class CallKind {
  kContinue,
  kRetrieve,
  kReadFile,
  kReadSymbol,
  kAddMemory,
  kRegisterEdit,
  kActionSummary,
  kNeighbors,
  kPrime,
  kLog,
  kPing,
};
inline constexpr size_t kCallKindCount = 11;
const char* call_kind_name(CallKind kind);

// Where the server is now. The killer closes it before a kill and opens
// it on the new port once the restarted server answers.
class ServerDoor {
 public:
  struct View {
    int port;
    int64_t generation;
    bool open;
  };
  void open(int port);
  void close();
  View view() const;
  // Waits until the door is open on a generation other than `seen`, or
  // `timeout` passes.
  void wait_reopened(int64_t seen, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  View view_{0, 0, false};
};

// What the calls aim at, fixed before the clients start.
struct Targets {
  std::vector<std::string> files;       // every project file: neighbours, memory anchors
  std::vector<std::string> read_files;  // files the clients read (no edit files)
  std::vector<std::string> symbols;     // "file::symbol" ids of read_files
  std::vector<std::string> queries;     // a fixed pool, so the graph's query nodes stay bounded
  std::vector<std::string> edit_files;  // one per client, edited by that client only
};

struct KindStats {
  int64_t calls = 0;
  int64_t acked = 0;
  int64_t refused = 0;      // answered without "ok": true, or a tool error
  int64_t http_errors = 0;  // answered with a status other than 200
  int64_t no_answer = 0;    // attempts that got no answer (connection errors, timeouts)
  int64_t gave_up = 0;      // calls still unanswered after every retry
  std::string first_refusal;
  void add(const KindStats& other);
};
using CallStats = std::array<KindStats, kCallKindCount>;

struct ClientConfig {
  int index = 0;
  int64_t calls = 0;
  uint64_t seed = 0;
  std::chrono::steady_clock::time_point deadline;
};

// Everything the clients share; each member is safe to use from every
// client thread.
struct ClientShared {
  const Targets& targets;
  const ServerDoor& door;
  Ledger& ledger;
  std::atomic<int64_t>& finished_calls;
  const std::atomic<bool>& stop;  // set when the run must end early
};

// Runs one client's calls; returns its counts. Stops early at the
// deadline or when `stop` is set; a call in progress then gets no more
// retries.
CallStats run_client(const ClientConfig& config, ClientShared shared);

}  // namespace lumenfold::bench
