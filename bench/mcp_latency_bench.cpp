// Latency of the MCP endpoint over loopback with keep-alive, on a project
// of 10 000 files: starts the real lodestar, scans a generated project
// through graph_scan, then times tools/list, graph_neighbors and the
// agent's tools (graph_continue, graph_retrieve fresh and cached,
// graph_read of a file and of a symbol, graph_register_edit) against ping
// (the protocol's floor, measured in the same run) and reports the
// server's resident memory with the graph loaded.
//
// The server runs with the read budget, allowlist, reuse gate and
// single-retrieve rule relaxed, so that back-to-back calls measure the
// tools' work rather than their refusals.
//
// usage: mcp_latency_bench LODESTAR_BINARY [FILES] [REQUESTS]

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "bench_support.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPort = 18931;

std::string rpc(const std::string& method, const std::string& params) {
  return R"({"jsonrpc":"2.0","id":1,"method":")" + method + "\"" + (params.empty() ? "" : ",\"params\":" + params) +
         "}";
}

struct Stats {
  double p50_us, p99_us;
};

// Times one request. A tool call whose result is a tool error ("isError")
// or refused ("ok": false) ends the run: it would time the refusal.
double time_request(httplib::Client& client, const std::string& body) {
  auto start = Clock::now();
  auto res = client.Post("/mcp", body, "application/json");
  auto end = Clock::now();
  if (!res || res->status != 200 || res->body.find("\"isError\":true") != std::string::npos ||
      res->body.find("\\\"ok\\\": false") != std::string::npos) {
    std::cerr << "request failed: " << body << "\n" << (res ? res->body : std::string("no answer")) << "\n";
    std::exit(1);
  }
  return std::chrono::duration<double, std::micro>(end - start).count();
}

Stats stats_of(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

// Times `n` requests, the i-th with body `body_of(i)`.
Stats time_requests(httplib::Client& client, const std::function<std::string(int)>& body_of, int n) {
  std::vector<double> us;
  us.reserve(n);
  for (int i = 0; i < n; ++i) us.push_back(time_request(client, body_of(i)));
  return stats_of(std::move(us));
}

Stats time_requests(httplib::Client& client, const std::string& body, int n) {
  return time_requests(
      client, [&](int) { return body; }, n);
}

std::string tool_call(const std::string& name, const nlohmann::json& arguments) {
  return rpc("tools/call", nlohmann::json{{"name", name}, {"arguments", arguments}}.dump());
}

// The first symbol of `file` in the scanned project's symbol index.
std::string first_symbol_of(const fs::path& data_dir, const std::string& file) {
  std::ifstream in(data_dir / "symbol_index.json");
  nlohmann::json index = nlohmann::json::parse(in);
  for (auto it = index.begin(); it != index.end(); ++it) {
    if (it.key().rfind(file + "::", 0) == 0) return it.key();
  }
  std::cerr << "no symbol in " << file << "\n";
  std::exit(1);
}

void print_row(const char* name, const Stats& s, const Stats& ping) {
  std::printf("%-24s %10.0f %10.0f %12.2f\n", name, s.p50_us, s.p99_us, s.p50_us / ping.p50_us);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: mcp_latency_bench LODESTAR_BINARY [FILES] [REQUESTS]\n";
    return 2;
  }
  int files = argc > 2 ? std::stoi(argv[2]) : 10000;
  int requests = argc > 3 ? std::stoi(argv[3]) : 2000;
  fs::path work = fs::temp_directory_path() / ("mcp-latency-" + std::to_string(getpid()));
  fs::create_directories(work / "data");
  lumenfold::bench::write_synthetic_project(work / "proj", files);

  pid_t pid = fork();
  if (pid == 0) {
    setenv("PORT", std::to_string(kPort).c_str(), 1);
    setenv("TSL_DATA_DIR", (work / "data").c_str(), 1);
    setenv("TESSEL_PROJECT_ROOT", (work / "proj").c_str(), 1);
    setenv("TSL_TURN_READ_BUDGET_CHARS", "2000000000", 1);
    setenv("TSL_ENFORCE_READ_ALLOWLIST", "0", 1);
    setenv("TSL_ENFORCE_REUSE_GATE", "0", 1);
    setenv("TSL_ENFORCE_SINGLE_RETRIEVE", "0", 1);
    execl(argv[1], argv[1], static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string port_text;
  for (int i = 0; i < 200 && port_text.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream(work / "data" / "mcp_port") >> port_text;
  }
  httplib::Client client("127.0.0.1", std::stoi(port_text.empty() ? "0" : port_text));
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  client.set_read_timeout(300, 0);

  auto scan_start = Clock::now();
  auto scan = client.Post(
      "/mcp",
      rpc("tools/call", R"({"name":"graph_scan","arguments":{"project_root":")" + (work / "proj").string() + "\"}}"),
      "application/json");
  double scan_s = std::chrono::duration<double>(Clock::now() - scan_start).count();
  if (!scan || scan->body.find("\\\"ok\\\": true") == std::string::npos) {
    std::cerr << "graph_scan failed: " << (scan ? scan->body : "no answer") << "\n";
    kill(pid, SIGTERM);
    return 1;
  }
  std::string neighbors =
      rpc("tools/call", R"({"name":"graph_neighbors","arguments":{"file":"pkg5/sub5/module_5.py"}})");
  time_requests(client, neighbors, 5);  // loads the graph into the server's cache
  long rss = lumenfold::bench::resident_kib(pid);

  Stats ping = time_requests(client, rpc("ping", ""), requests);
  Stats list = time_requests(client, rpc("tools/list", ""), requests);
  Stats nb = time_requests(client, neighbors, requests);

  // The agent's tools. Fresh work is slower, so it gets fewer calls.
  const int fresh = std::max(20, requests / 20);
  const std::string read_file = "pkg42/sub0/module_42.py";
  const std::string symbol = first_symbol_of(work / "data", read_file);
  auto query = [](int i) { return "process_" + std::to_string(i) + " request handler"; };
  // The first ranking builds the retrieval module's index of the graph;
  // every later call of a session reuses it.
  time_requests(client, tool_call("graph_retrieve", {{"query", "warm up the index"}}), 1);
  Stats retrieve_fresh = time_requests(
      client,
      [&](int i) {
        return tool_call("graph_retrieve", {{"query", query(i)}});
      },
      fresh);
  // Two queries in turn: each call starts a new turn that the cache answers.
  Stats retrieve_cached = time_requests(
      client,
      [&](int i) {
        return tool_call("graph_retrieve", {{"query", query(i % 2)}});
      },
      requests);
  // A new query each time, so neither the repeat check nor the action
  // graph's stored copy answers: every call cuts and records a read (and
  // adds a query node to the action graph, which grows all along). Reads
  // of the file and of the symbol take turns, so both meet the same graph.
  std::vector<double> whole_us, symbol_us;
  for (int i = 0; i < requests; ++i) {
    whole_us.push_back(
        time_request(client, tool_call("graph_read", {{"file", read_file}, {"query", "q" + std::to_string(i)}})));
    symbol_us.push_back(
        time_request(client, tool_call("graph_read", {{"file", symbol}, {"query", "s" + std::to_string(i)}})));
  }
  Stats read_whole = stats_of(std::move(whole_us));
  Stats read_symbol = stats_of(std::move(symbol_us));
  Stats edit = time_requests(
      client,
      [&](int i) {
        return tool_call("graph_register_edit", {{"files", {read_file}}, {"summary", "edit " + std::to_string(i)}});
      },
      requests);
  Stats cont = time_requests(
      client,
      [&](int i) {
        return tool_call("graph_continue", {{"query", "continue " + query(i)}});
      },
      fresh);

  std::printf("project: %d files; graph_scan over MCP: %.2f s\n", files, scan_s);
  std::printf("%-24s %10s %10s %12s\n", "request", "p50 (us)", "p99 (us)", "p50 / ping");
  std::printf("%-24s %10.0f %10.0f %12s\n", "ping (reference)", ping.p50_us, ping.p99_us, "1.00");
  print_row("tools/list", list, ping);
  print_row("graph_neighbors", nb, ping);
  print_row("graph_retrieve fresh", retrieve_fresh, ping);
  print_row("graph_retrieve cached", retrieve_cached, ping);
  print_row("graph_read file", read_whole, ping);
  print_row("graph_read symbol", read_symbol, ping);
  print_row("graph_register_edit", edit, ping);
  print_row("graph_continue", cont, ping);
  std::printf("server resident memory with the graph loaded: %ld MiB\n", rss / 1024);
  // Reads and edits rewrite these whole, so their size sets the cost of a
  // call; the action graph gains a node per new query until the next scan.
  for (const char* name : {"chat_action_graph.json", "context-store.json"}) {
    std::error_code ec;
    std::printf("%s at the end: %ju KiB\n", name,
                static_cast<uintmax_t>(fs::file_size(work / "data" / name, ec) / 1024));
  }

  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  fs::remove_all(work);
  return 0;
}
