// Soak of lodestar under kill -9: starts the real server on a generated
// project, scans it once, then runs client threads that send a seeded mix
// of the agent's tools and plain routes while a killer SIGKILLs the server
// every few hundred calls and restarts it on the same data directory.
//
// While the server is down after each kill, and at the end after a
// SIGTERM (which must exit 0), it checks that every state file parses and
// that every memory and edit acknowledged so far is still on disk (see
// soak_checks.h for what counts as pruned rather than lost). It samples
// the server's resident memory every second of each life.
//
// The seed fixes each client's calls and the killer's intervals; the
// threads' interleaving, and so the exact moment of each kill, still
// varies from run to run.
//
// Exit status: 0 when nothing was lost, every file parsed, the server
// stopped cleanly and no life grew beyond the threshold; 1 otherwise; 2
// for bad usage or a server that could not be started.
//
// usage: soak LODESTAR_BINARY [--clients N] [--calls N] [--files N]
//            [--seed N] [--kill-min N] [--kill-max N] [--rss-growth-mib N]
//            [--max-minutes N] [--keep]

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "soak_checks.h"
#include "soak_client.h"
#include "soak_report.h"
#include "soak_server.h"

namespace fs = std::filesystem;
using lumenfold::common::Json;
using SteadyClock = std::chrono::steady_clock;
namespace lb = lumenfold::bench;

namespace {

// One start: generous, for sanitizer builds on a busy machine.
constexpr auto kStartPatience = std::chrono::seconds(60);
// A server that cannot start is started again for this long; past TCP's
// TIME_WAIT (60 s), so that a port held by the killed server's closed
// connections is free again by then.
constexpr auto kRestartPatience = std::chrono::seconds(120);
constexpr auto kStartRetryPause = std::chrono::seconds(1);
constexpr auto kStopPatience = std::chrono::seconds(20);
constexpr auto kKillerPoll = std::chrono::milliseconds(5);
// Enough distinct questions to exercise ranking and the caches, few enough
// that the action graph's query nodes (never pruned) stay bounded.
constexpr int kQueryPool = 48;
constexpr size_t kMaxSymbols = 2000;

struct Options {
  fs::path lodestar;
  int64_t clients = 4;
  int64_t calls = 10000;  // per client
  int64_t files = 300;
  std::optional<uint64_t> seed;  // a random one when not given
  int64_t kill_min = 200;        // calls, all clients together, between kills
  int64_t kill_max = 600;
  int64_t rss_growth_mib = 48;
  int64_t max_minutes = 60;
  bool keep = false;
};

struct NumberFlag {
  const char* name;
  int64_t Options::*field;
};
constexpr NumberFlag kNumberFlags[] = {
    {"--clients", &Options::clients},
    {"--calls", &Options::calls},
    {"--files", &Options::files},
    {"--kill-min", &Options::kill_min},
    {"--kill-max", &Options::kill_max},
    {"--rss-growth-mib", &Options::rss_growth_mib},
    {"--max-minutes", &Options::max_minutes},
};

// Sets the flag `name` from `value`; false for an unknown flag or a value
// that is not a whole number.
bool set_flag(Options& o, const std::string& name, const std::string& value) {
  char* end = nullptr;
  if (name == "--seed") {
    o.seed = std::strtoull(value.c_str(), &end, 10);
    return !value.empty() && *end == '\0';
  }
  for (const NumberFlag& flag : kNumberFlags) {
    if (name != flag.name) continue;
    o.*flag.field = std::strtoll(value.c_str(), &end, 10);
    return !value.empty() && *end == '\0';
  }
  return false;
}

std::optional<Options> parse_options(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return std::nullopt;
  Options o;
  o.lodestar = fs::absolute(argv[1]);
  for (int i = 2; i < argc; ++i) {
    std::string flag = argv[i];
    if (flag == "--keep") {
      o.keep = true;
    } else if (i + 1 >= argc || !set_flag(o, flag, argv[++i])) {
      return std::nullopt;
    }
  }
  if (o.clients < 1 || o.calls < 1 || o.files < o.clients + 1 || o.kill_min < 1 || o.kill_max < o.kill_min ||
      o.max_minutes < 1) {
    return std::nullopt;
  }
  if (!o.seed) o.seed = std::random_device{}();
  return o;
}

// A port nobody listens on right now (the kernel's pick for port 0).
int free_loopback_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  if (fd >= 0) ::close(fd);
  return port;
}

std::vector<std::string> project_files(const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), root).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> query_pool(uint64_t seed, int files) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> module(0, files - 1);
  const char* shapes[] = {"process_%d request handler", "Handler%d run", "helper_%d value", "module %d pipeline"};
  std::vector<std::string> out;
  char buf[64];
  for (int i = 0; i < kQueryPool; ++i) {
    std::snprintf(buf, sizeof buf, shapes[i % 4], module(rng));
    out.push_back(buf);
  }
  return out;
}

// The first `clients` files are each edited by one client and read by
// none; symbols come from the scan's symbol index.
lb::Targets make_targets(const Options& o, const fs::path& project, const fs::path& data_dir) {
  lb::Targets t;
  t.files = project_files(project);
  t.edit_files.assign(t.files.begin(), t.files.begin() + o.clients);
  t.read_files.assign(t.files.begin() + o.clients, t.files.end());
  std::set<std::string> readable(t.read_files.begin(), t.read_files.end());
  std::optional<std::string> text = lumenfold::common::read_file(data_dir / "symbol_index.json");
  std::optional<Json> index = text ? lumenfold::common::parse_json(*text) : std::nullopt;
  if (index && index->is_object()) {
    for (auto it = index->begin(); it != index->end() && t.symbols.size() < kMaxSymbols; ++it) {
      const std::string& id = it.key();
      if (readable.count(id.substr(0, id.find("::"))) > 0) t.symbols.push_back(id);
    }
  }
  t.queries = query_pool(*o.seed, static_cast<int>(o.files));
  return t;
}

// The last line of the server's output, for a failed start's report.
std::string last_line_of(const fs::path& log) {
  std::optional<std::string> text = lumenfold::common::read_file(log);
  if (!text) return "(no server output)";
  std::string_view rest(*text);
  while (!rest.empty() && rest.back() == '\n') rest.remove_suffix(1);
  size_t start = rest.rfind('\n');
  return std::string(start == std::string_view::npos ? rest : rest.substr(start + 1));
}

class Soak {
 public:
  explicit Soak(Options options);
  // The whole run; returns the exit status.
  int run();

 private:
  bool start_server(const std::optional<lb::PortFile>& previous_port);
  bool scan_project();
  void killer_loop(const std::atomic<bool>& clients_done);
  bool kill_and_restart();
  void check_while_down();
  std::vector<lb::CallStats> run_clients(const lb::Targets& targets);
  int finish(const std::vector<lb::CallStats>& per_client);

  Options o_;
  fs::path work_;
  lb::ServerLaunch launch_;
  std::optional<lb::ServerProcess> server_;
  std::unique_ptr<lb::RssSampler> sampler_;
  int port_ = 0;
  lb::RunFigures figures_;
  lb::ServerDoor door_;
  std::unique_ptr<lb::Ledger> ledger_;
  std::atomic<int64_t> finished_calls_{0};
  std::atomic<bool> stop_clients_{false};
  SteadyClock::time_point started_ = SteadyClock::now();
  SteadyClock::time_point deadline_;
};

Soak::Soak(Options options) : o_(std::move(options)) {
  work_ = fs::temp_directory_path() / ("tessel-soak-" + std::to_string(::getpid()));
  launch_.program = o_.lodestar;
  launch_.project_root = work_ / "project";
  launch_.data_dir = work_ / "data";
  launch_.log_file = work_ / "server.log";
  // As mcp_latency_bench: the turn's gates relaxed, so calls do their work
  // rather than refuse; four clients share one server-wide turn.
  launch_.environment = {{"TSL_TURN_READ_BUDGET_CHARS", "2000000000"},
                         {"TSL_ENFORCE_READ_ALLOWLIST", "0"},
                         {"TSL_ENFORCE_REUSE_GATE", "0"},
                         {"TSL_ENFORCE_SINGLE_RETRIEVE", "0"}};
  deadline_ = started_ + std::chrono::minutes(o_.max_minutes);
  figures_.seed = *o_.seed;
  figures_.clients = static_cast<int>(o_.clients);
  figures_.calls_per_client = o_.calls;
  figures_.project_files = static_cast<int>(o_.files);
  figures_.rss_growth_mib = o_.rss_growth_mib;
}

bool Soak::start_server(const std::optional<lb::PortFile>& previous_port) {
  auto give_up = SteadyClock::now() + kRestartPatience;
  while (SteadyClock::now() < give_up) {
    server_ = lb::ServerProcess::spawn(launch_);
    if (!server_) continue;
    auto ready = lb::wait_until_ready(*server_, launch_.data_dir, previous_port,
                                      std::min(SteadyClock::now() + kStartPatience, give_up));
    if (ready) {
      port_ = *ready;
      return true;
    }
    server_->kill_hard();
    figures_.failed_starts.push_back("after kill " + std::to_string(figures_.kills) + ": " +
                                     last_line_of(launch_.log_file));
    std::this_thread::sleep_for(kStartRetryPause);
  }
  return false;
}

bool Soak::scan_project() {
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(600, 0);
  Json call{{"jsonrpc", "2.0"},
            {"id", 1},
            {"method", "tools/call"},
            {"params", {{"name", "graph_scan"}, {"arguments", {{"project_root", launch_.project_root.string()}}}}}};
  auto res = client.Post("/mcp", call.dump(), "application/json");
  if (res && res->status == 200 && res->body.find("\\\"ok\\\": true") != std::string::npos) return true;
  std::cerr << "soak: graph_scan failed: " << (res ? res->body.substr(0, 500) : "no answer") << "\n";
  return false;
}

void Soak::check_while_down() {
  lb::LedgerSnapshot acked = ledger_->snapshot();
  figures_.checkpoints.add(figures_.kills, lb::check_state_files(launch_.data_dir),
                           lb::check_memories(launch_.data_dir, acked.memories),
                           lb::check_edits(launch_.data_dir, acked.edits, *o_.seed));
}

bool Soak::kill_and_restart() {
  door_.close();
  figures_.lives.push_back(sampler_->finish());
  sampler_.reset();
  std::optional<lb::PortFile> previous = lb::read_port_file(launch_.data_dir);
  server_->kill_hard();  // returns once waitpid has reaped it
  ++figures_.kills;
  std::string old_port_sockets = lb::sockets_on_port(port_);
  check_while_down();
  int old_port = port_;
  if (!start_server(previous)) return false;
  ++figures_.restarts;
  if (port_ != old_port) {
    figures_.port_moves.push_back("restart " + std::to_string(figures_.restarts) + ": " + std::to_string(old_port) +
                                  " -> " + std::to_string(port_) + " (old port after the kill: " + old_port_sockets +
                                  ")");
  }
  sampler_ = std::make_unique<lb::RssSampler>(server_->pid());
  door_.open(port_);
  return true;
}

void Soak::killer_loop(const std::atomic<bool>& clients_done) {
  std::mt19937_64 rng(*o_.seed);
  std::uniform_int_distribution<int64_t> interval(o_.kill_min, o_.kill_max);
  while (!clients_done) {
    int64_t kill_at = finished_calls_.load() + interval(rng);
    while (!clients_done && finished_calls_.load() < kill_at) std::this_thread::sleep_for(kKillerPoll);
    if (clients_done) return;
    if (!kill_and_restart()) {
      figures_.restart_failed = true;
      stop_clients_ = true;
      return;
    }
  }
}

std::vector<lb::CallStats> Soak::run_clients(const lb::Targets& targets) {
  std::vector<lb::CallStats> per_client(o_.clients);
  std::atomic<bool> clients_done{false};
  std::thread killer([&] { killer_loop(clients_done); });
  std::vector<std::thread> threads;
  for (int i = 0; i < o_.clients; ++i) {
    threads.emplace_back([&, i] {
      lb::ClientConfig config{i, o_.calls, *o_.seed, deadline_};
      per_client[i] = lb::run_client(config, {targets, door_, *ledger_, finished_calls_, stop_clients_});
    });
  }
  for (std::thread& t : threads) t.join();
  clients_done = true;
  killer.join();
  return per_client;
}

int Soak::run() {
  std::printf("soak: seed %llu (replay with --seed %llu)\n", static_cast<unsigned long long>(*o_.seed),
              static_cast<unsigned long long>(*o_.seed));
  fs::create_directories(launch_.data_dir);
  lb::write_synthetic_project(launch_.project_root, static_cast<int>(o_.files));
  launch_.requested_port = free_loopback_port();
  if (!start_server(std::nullopt) || !scan_project()) return 2;
  std::printf("soak: server on port %d, data in %s\n", port_, launch_.data_dir.c_str());
  std::fflush(stdout);
  lb::Targets targets = make_targets(o_, launch_.project_root, launch_.data_dir);
  if (targets.symbols.empty()) {
    std::cerr << "soak: the scan indexed no symbols\n";
    return 2;
  }
  ledger_ = std::make_unique<lb::Ledger>(targets.edit_files);
  sampler_ = std::make_unique<lb::RssSampler>(server_->pid());
  door_.open(port_);
  return finish(run_clients(targets));
}

int Soak::finish(const std::vector<lb::CallStats>& per_client) {
  figures_.wall_seconds = std::chrono::duration<double>(SteadyClock::now() - started_).count();
  for (const lb::CallStats& client : per_client) {
    for (size_t k = 0; k < lb::kCallKindCount; ++k) figures_.calls[k].add(client[k]);
  }
  door_.close();
  if (sampler_) figures_.lives.push_back(sampler_->finish());
  sampler_.reset();
  if (server_ && !server_->exited()) figures_.stop_status = server_->stop(kStopPatience);
  lb::LedgerSnapshot acked = ledger_->snapshot();
  figures_.files = lb::check_state_files(launch_.data_dir);
  figures_.memories = lb::check_memories(launch_.data_dir, acked.memories);
  figures_.edits = lb::check_edits(launch_.data_dir, acked.edits, *o_.seed);
  std::vector<std::string> failures = lb::report(figures_);
  if (o_.keep || !failures.empty()) {
    std::printf("\nkept for inspection: %s (server output in %s)\n", work_.c_str(), launch_.log_file.c_str());
  } else {
    std::error_code ec;
    fs::remove_all(work_, ec);
  }
  return failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Options> options = parse_options(argc, argv);
  if (!options) {
    std::cerr << "usage: soak LODESTAR_BINARY [--clients N] [--calls N] [--files N] [--seed N]\n"
                 "            [--kill-min N] [--kill-max N] [--rss-growth-mib N] [--max-minutes N] [--keep]\n";
    return 2;
  }
  return Soak(std::move(*options)).run();
}
