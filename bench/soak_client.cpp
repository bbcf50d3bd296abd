#include "soak_client.h"

// A call that got no answer is sent again, unchanged, once the server is
// back: the first attempt may or may not have been applied before the
// kill, so only the attempt that is answered counts as acknowledged. The
// ledger takes a memory's creation window from that attempt, because that
// attempt's own append is the one an acknowledgement promises.

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"

namespace lumenfold::bench {

using common::Json;
using SteadyClock = std::chrono::steady_clock;

namespace {

// The mix of one client's calls, by weight: mostly the agent's loop
// (retrieve, read, edit, remember), some summaries and plain routes.
struct MixEntry {
  CallKind kind;
  int weight;
};
constexpr MixEntry kMix[] = {
    {CallKind::kContinue, 8},      {CallKind::kRetrieve, 12},  {CallKind::kReadFile, 12},
    {CallKind::kReadSymbol, 12},   {CallKind::kAddMemory, 12}, {CallKind::kRegisterEdit, 12},
    {CallKind::kActionSummary, 8}, {CallKind::kNeighbors, 10}, {CallKind::kPrime, 5},
    {CallKind::kLog, 5},           {CallKind::kPing, 4},
};

// A restart takes well under a second, but the killer may try for two
// minutes (soak.cpp); a call waits for the server a little longer than
// that before it gives up, sending at most kMaxAttempts times.
constexpr auto kCallPatience = std::chrono::seconds(150);
constexpr int kMaxAttempts = 2000;
constexpr auto kReopenWait = std::chrono::milliseconds(200);
constexpr time_t kConnectTimeoutSec = 1;
// Generous: on a loaded two-core machine a call can queue behind others.
constexpr time_t kReadTimeoutSec = 60;
constexpr char kMemoryType[] = "fact";
constexpr char kLogModel[] = "soak-model";

struct Request {
  explicit Request(CallKind k) : kind(k) {}
  CallKind kind;
  bool get = false;
  std::string path = "/mcp";
  std::string body;
  std::string memory_content;  // graph_add_memory
  std::string memory_file;
  int64_t edit_call = -1;  // graph_register_edit
};

enum class Answer { kAcked, kRefused, kHttpError, kNoAnswer };

struct Outcome {
  Answer answer;
  std::string refusal;
};

int64_t epoch_seconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

template <typename T>
const T& pick(const std::vector<T>& items, std::mt19937_64& rng) {
  return items[std::uniform_int_distribution<size_t>(0, items.size() - 1)(rng)];
}

CallKind pick_kind(std::mt19937_64& rng) {
  int total = 0;
  for (const MixEntry& e : kMix) total += e.weight;
  int r = std::uniform_int_distribution<int>(0, total - 1)(rng);
  for (const MixEntry& e : kMix) {
    if (r < e.weight) return e.kind;
    r -= e.weight;
  }
  return CallKind::kPing;
}

std::string tool_call(const char* name, Json arguments, int64_t id) {
  return Json{{"jsonrpc", "2.0"},
              {"id", id},
              {"method", "tools/call"},
              {"params", {{"name", name}, {"arguments", std::move(arguments)}}}}
      .dump();
}

Request tool_request(CallKind kind, const char* name, Json arguments, int64_t id) {
  Request r(kind);
  r.body = tool_call(name, std::move(arguments), id);
  return r;
}

Request memory_request(const ClientConfig& config, int64_t n, const Targets& t, std::mt19937_64& rng) {
  std::string content =
      "soak memory " + std::to_string(config.seed) + " c" + std::to_string(config.index) + " n" + std::to_string(n);
  std::string file = pick(t.files, rng);
  Request r = tool_request(CallKind::kAddMemory, "graph_add_memory",
                           {{"type", kMemoryType}, {"content", content}, {"tags", {"soak"}}, {"files", {file}}}, n);
  r.memory_content = std::move(content);
  r.memory_file = std::move(file);
  return r;
}

Request edit_request(const ClientConfig& config, int64_t n, const Targets& t) {
  Request r = tool_request(
      CallKind::kRegisterEdit, "graph_register_edit",
      {{"files", {t.edit_files[config.index]}}, {"summary", edit_summary(config.seed, config.index, n)}}, n);
  r.edit_call = n;
  return r;
}

Request build_request(CallKind kind, const ClientConfig& config, int64_t n, const Targets& t, std::mt19937_64& rng) {
  switch (kind) {
    case CallKind::kContinue:
      return tool_request(kind, "graph_continue", {{"query", pick(t.queries, rng)}}, n);
    case CallKind::kRetrieve:
      return tool_request(kind, "graph_retrieve", {{"query", pick(t.queries, rng)}}, n);
    case CallKind::kReadFile:
      return tool_request(kind, "graph_read", {{"file", pick(t.read_files, rng)}, {"query", pick(t.queries, rng)}}, n);
    case CallKind::kReadSymbol:
      return tool_request(kind, "graph_read", {{"file", pick(t.symbols, rng)}, {"query", pick(t.queries, rng)}}, n);
    case CallKind::kAddMemory:
      return memory_request(config, n, t, rng);
    case CallKind::kRegisterEdit:
      return edit_request(config, n, t);
    case CallKind::kActionSummary:
      return tool_request(kind, "graph_action_summary", {{"query", pick(t.queries, rng)}}, n);
    case CallKind::kNeighbors:
      return tool_request(kind, "graph_neighbors", {{"file", pick(t.files, rng)}}, n);
    case CallKind::kPrime: {
      Request r(kind);
      r.get = true;
      r.path = "/prime";
      return r;
    }
    case CallKind::kLog: {
      Request r(kind);
      r.path = "/log";
      r.body = Json{{"model", kLogModel}, {"input_tokens", n}, {"output_tokens", 1}}.dump();
      return r;
    }
    case CallKind::kPing:
      break;
  }
  Request r(CallKind::kPing);
  r.body = Json{{"jsonrpc", "2.0"}, {"id", n}, {"method", "ping"}}.dump();
  return r;
}

// Whether `object` holds `key` with the value true.
bool is_true(const Json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_boolean() && it->get<bool>();
}

// "ok": true in a tool result's text, or the refusal's text.
Outcome tool_outcome(const Json& result) {
  auto content = result.find("content");
  if (is_true(result, "isError") || content == result.end() || !content->is_array() || content->empty() ||
      !(*content)[0].is_object()) {
    return {Answer::kRefused, result.dump().substr(0, 200)};
  }
  auto text = (*content)[0].find("text");
  std::string body = text != (*content)[0].end() && text->is_string() ? text->get<std::string>() : "";
  std::optional<Json> doc = common::parse_json(body);
  if (doc && doc->is_object() && is_true(*doc, "ok")) return {Answer::kAcked, ""};
  return {Answer::kRefused, body.substr(0, 200)};
}

Outcome evaluate(const Request& r, const httplib::Result& res) {
  if (!res) return {Answer::kNoAnswer, httplib::to_string(res.error())};
  if (res->status != 200) return {Answer::kHttpError, std::to_string(res->status) + " " + res->body.substr(0, 200)};
  if (r.kind == CallKind::kPrime) return {Answer::kAcked, ""};
  std::optional<Json> body = common::parse_json(res->body);
  if (!body || !body->is_object()) return {Answer::kRefused, res->body.substr(0, 200)};
  if (r.kind == CallKind::kLog) {
    return is_true(*body, "ok") ? Outcome{Answer::kAcked, ""} : Outcome{Answer::kRefused, res->body.substr(0, 200)};
  }
  auto result = body->find("result");
  if (result == body->end() || !result->is_object()) return {Answer::kRefused, res->body.substr(0, 200)};
  if (r.kind == CallKind::kPing) return {Answer::kAcked, ""};
  return tool_outcome(*result);
}

// One keep-alive connection, re-made when the server moves.
class Connection {
 public:
  httplib::Result send(const Request& r, int port) {
    if (!client_ || port != port_) {
      client_ = std::make_unique<httplib::Client>("127.0.0.1", port);
      client_->set_keep_alive(true);
      client_->set_tcp_nodelay(true);
      client_->set_connection_timeout(kConnectTimeoutSec, 0);
      client_->set_read_timeout(kReadTimeoutSec, 0);
      port_ = port;
    }
    if (r.get) return client_->Get(r.path);
    return client_->Post(r.path, r.body, "application/json");
  }

 private:
  std::unique_ptr<httplib::Client> client_;
  int port_ = 0;
};

void record_ack(const Request& r, const ClientConfig& config, int64_t sent_epoch, Ledger& ledger) {
  if (r.kind == CallKind::kAddMemory) {
    ledger.add_memory({r.memory_content, r.memory_file, sent_epoch, epoch_seconds()});
  } else if (r.kind == CallKind::kRegisterEdit) {
    ledger.add_edit_ack(config.index, r.edit_call);
  }
}

// Sends `r` until it is answered, the attempts run out or the deadline
// passes, counting into `stats`.
void perform(const Request& r, const ClientConfig& config, ClientShared& shared, Connection& connection,
             KindStats& stats) {
  ++stats.calls;
  const auto give_up = std::min(SteadyClock::now() + kCallPatience, config.deadline);
  for (int attempt = 0; attempt < kMaxAttempts && SteadyClock::now() < give_up && !shared.stop; ++attempt) {
    ServerDoor::View door = shared.door.view();
    if (!door.open) {
      shared.door.wait_reopened(door.generation, kReopenWait);
      continue;
    }
    if (r.kind == CallKind::kRegisterEdit) shared.ledger.add_edit_attempt(config.index);
    int64_t sent_epoch = epoch_seconds();
    Outcome outcome = evaluate(r, connection.send(r, door.port));
    switch (outcome.answer) {
      case Answer::kAcked:
        ++stats.acked;
        record_ack(r, config, sent_epoch, shared.ledger);
        return;
      case Answer::kRefused:
        ++stats.refused;
        if (stats.first_refusal.empty()) stats.first_refusal = outcome.refusal;
        return;
      case Answer::kHttpError:
        ++stats.http_errors;
        if (stats.first_refusal.empty()) stats.first_refusal = outcome.refusal;
        return;
      case Answer::kNoAnswer:
        ++stats.no_answer;
        shared.door.wait_reopened(door.generation, kReopenWait);
        break;
    }
  }
  ++stats.gave_up;
}

}  // namespace

const char* call_kind_name(CallKind kind) {
  switch (kind) {
    case CallKind::kContinue:
      return "graph_continue";
    case CallKind::kRetrieve:
      return "graph_retrieve";
    case CallKind::kReadFile:
      return "graph_read file";
    case CallKind::kReadSymbol:
      return "graph_read symbol";
    case CallKind::kAddMemory:
      return "graph_add_memory";
    case CallKind::kRegisterEdit:
      return "graph_register_edit";
    case CallKind::kActionSummary:
      return "graph_action_summary";
    case CallKind::kNeighbors:
      return "graph_neighbors";
    case CallKind::kPrime:
      return "GET /prime";
    case CallKind::kLog:
      return "POST /log";
    case CallKind::kPing:
      return "ping";
  }
  return "?";
}

void KindStats::add(const KindStats& other) {
  calls += other.calls;
  acked += other.acked;
  refused += other.refused;
  http_errors += other.http_errors;
  no_answer += other.no_answer;
  gave_up += other.gave_up;
  if (first_refusal.empty()) first_refusal = other.first_refusal;
}

void ServerDoor::open(int port) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    view_ = {port, view_.generation + 1, true};
  }
  changed_.notify_all();
}

void ServerDoor::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  view_.open = false;
}

ServerDoor::View ServerDoor::view() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return view_;
}

void ServerDoor::wait_reopened(int64_t seen, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return view_.open && view_.generation != seen; });
}

CallStats run_client(const ClientConfig& config, ClientShared shared) {
  std::mt19937_64 rng(config.seed * 1000003 + static_cast<uint64_t>(config.index));
  Connection connection;
  CallStats stats{};
  for (int64_t n = 0; n < config.calls && SteadyClock::now() < config.deadline && !shared.stop; ++n) {
    CallKind kind = pick_kind(rng);
    Request r = build_request(kind, config, n, shared.targets, rng);
    perform(r, config, shared, connection, stats[static_cast<size_t>(kind)]);
    shared.finished_calls.fetch_add(1, std::memory_order_relaxed);
  }
  return stats;
}

}  // namespace lumenfold::bench
