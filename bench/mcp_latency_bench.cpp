// Latency of the MCP endpoint over loopback with keep-alive, on a project
// of 10 000 files: starts the real lodestar, scans a generated project
// through graph_scan, then times tools/list and graph_neighbors against
// ping (the protocol's floor, measured in the same run) and reports the
// server's resident memory with the graph loaded.
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
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "bench_support.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPort = 18931;

std::string rpc(const std::string& method, const std::string& params) {
  return R"({"jsonrpc":"2.0","id":1,"method":")" + method + "\"" + (params.empty() ? "" : ",\"params\":" + params) + "}";
}

struct Stats {
  double p50_us, p99_us;
};

Stats time_requests(httplib::Client& client, const std::string& body, int n) {
  std::vector<double> us;
  us.reserve(n);
  for (int i = 0; i < n; ++i) {
    auto start = Clock::now();
    auto res = client.Post("/mcp", body, "application/json");
    auto end = Clock::now();
    if (!res || res->status != 200) {
      std::cerr << "request failed\n";
      std::exit(1);
    }
    us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
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
  auto scan = client.Post("/mcp", rpc("tools/call", R"({"name":"graph_scan","arguments":{"project_root":")" +
                                                          (work / "proj").string() + "\"}}"),
                          "application/json");
  double scan_s = std::chrono::duration<double>(Clock::now() - scan_start).count();
  if (!scan || scan->body.find("\\\"ok\\\": true") == std::string::npos) {
    std::cerr << "graph_scan failed: " << (scan ? scan->body : "no answer") << "\n";
    kill(pid, SIGTERM);
    return 1;
  }
  std::string neighbors = rpc("tools/call", R"({"name":"graph_neighbors","arguments":{"file":"pkg5/sub5/module_5.py"}})");
  time_requests(client, neighbors, 5);  // loads the graph into the server's cache
  long rss = lumenfold::bench::resident_kib(pid);

  Stats ping = time_requests(client, rpc("ping", ""), requests);
  Stats list = time_requests(client, rpc("tools/list", ""), requests);
  Stats nb = time_requests(client, neighbors, requests);

  std::printf("project: %d files; graph_scan over MCP: %.2f s\n", files, scan_s);
  std::printf("%-18s %10s %10s %12s\n", "request", "p50 (us)", "p99 (us)", "p50 / ping");
  std::printf("%-18s %10.0f %10.0f %12s\n", "ping (reference)", ping.p50_us, ping.p99_us, "1.00");
  std::printf("%-18s %10.0f %10.0f %12.2f\n", "tools/list", list.p50_us, list.p99_us, list.p50_us / ping.p50_us);
  std::printf("%-18s %10.0f %10.0f %12.2f\n", "graph_neighbors", nb.p50_us, nb.p99_us, nb.p50_us / ping.p50_us);
  std::printf("server resident memory with the graph loaded: %ld MiB\n", rss / 1024);

  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  fs::remove_all(work);
  return 0;
}
