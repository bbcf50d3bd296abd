// lodestar: the Tessel tool server. Serves the MCP tools and the plain
// HTTP routes for one project until SIGINT or SIGTERM.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "lumenfold/common/data_dir_files.h"
#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/common/unique_fd.h"
#include "lumenfold/lodestar/frontend/data_dir_lock.h"
#include "lumenfold/lodestar/frontend/mcp_route.h"
#include "lumenfold/lodestar/frontend/port_probe.h"
#include "lumenfold/lodestar/frontend/request_gate.h"
#include "lumenfold/lodestar/frontend/routes.h"
#include "lumenfold/lodestar/frontend/serial_routes.h"
#include "lumenfold/lodestar/frontend/tool_table.h"
#include "lumenfold/lodestar/mcp/mcp_server.h"
#include "lumenfold/lodestar/memory/epoch_time.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/tsl/local_retrieval_module.h"

namespace fs = std::filesystem;
using namespace lumenfold::lodestar;

namespace {

constexpr int kDefaultPort = 8080;
// Hooks read the chosen port from this file in the data directory.
constexpr char kServerVersion[] = "1.0.0";
// Where the server listens unless TSL_HOST says otherwise: this machine
// only, over both IP versions (clients resolve "localhost" to either).
constexpr const char* kLoopbackHosts[] = {"127.0.0.1", "::1"};

int fail(const std::string& message) {
  std::cerr << "lodestar: " << message << "\n";
  return 1;
}

// Whether this machine can listen on the IPv6 loopback address; a system
// with IPv6 turned off serves 127.0.0.1 alone.
bool has_ipv6_loopback() {
  lumenfold::common::UniqueFd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in6 addr{};
  addr.sin6_family = AF_INET6;
  addr.sin6_addr = in6addr_loopback;
  return fd.valid() && ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

std::vector<std::string> listen_hosts(const Settings& settings) {
  if (!settings.listen_host.empty()) return {settings.listen_host};
  std::vector<std::string> hosts = {kLoopbackHosts[0]};
  if (has_ipv6_loopback()) hosts.push_back(kLoopbackHosts[1]);
  return hosts;
}

// The port of this data directory's previous server, which agents were
// told; nullopt when there is none or PORT asks for a port explicitly.
std::optional<int> recorded_port(const Settings& settings) {
  if (settings.port) return std::nullopt;
  const fs::path& data_dir = settings.data_dir;
  std::optional<std::string> text = lumenfold::common::read_file(data_dir / lumenfold::common::kPortFileName);
  if (!text) return std::nullopt;
  std::optional<int64_t> port = lumenfold::common::parse_integer(*text);
  if (!port) return std::nullopt;
  return static_cast<int>(*port);
}

// Blocks the stop signals, so that only the sigwait in run() receives
// them. Must run before any thread starts.
sigset_t block_stop_signals() {
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  return stop_signals;
}

int run() {
  sigset_t stop_signals = block_stop_signals();

  fs::path program_dir = program_directory();
  auto settings = read_settings(process_environment(), program_dir, static_cast<int64_t>(now_epoch()));
  if (!settings) return fail(settings.error());

  const int requested = settings->port.value_or(kDefaultPort);
  fs::create_directories(settings->data_dir);
  auto lock = DataDirLock::acquire(settings->data_dir);
  if (!lock) return fail(lock.error());

  std::vector<std::string> hosts = listen_hosts(*settings);
  std::vector<int> candidates = candidate_ports(requested, recorded_port(*settings));
  std::optional<int> port = probe_free_port(candidates, hosts);
  if (!port) {
    return fail("no free port in " + std::to_string(requested) + "-" + std::to_string(requested + kPortProbeCount - 1));
  }
  // Left by a server killed while it saved a state file; an hour is far
  // longer than any save of a server still running beside this one.
  lumenfold::common::remove_stale_temporary_files(settings->data_dir, std::chrono::hours(1));

  settings->listening_port = *port;
  RequestGate gate(settings->auth_token);
  std::unique_ptr<RetrievalModule> retrieval =
      lumenfold::tsl::make_local_retrieval_module(settings->tsl_local_retrieval);
  ServerState state(std::move(*settings), std::move(retrieval));
  McpServer mcp({kServerName, kServerVersion}, build_tool_registry(state));
  std::vector<std::unique_ptr<httplib::Server>> servers;
  std::vector<httplib::Server*> server_list;
  for (size_t i = 0; i < hosts.size(); ++i) {
    servers.push_back(std::make_unique<httplib::Server>());
    server_list.push_back(servers.back().get());
  }
  SerialRoutes routes(server_list, std::move(gate));
  register_routes(routes, state, program_dir);
  serve_mcp(routes, mcp);

  for (size_t i = 0; i < hosts.size(); ++i) {
    if (!servers[i]->bind_to_port(hosts[i], *port)) {
      return fail("cannot listen on " + hosts[i] + " port " + std::to_string(*port));
    }
  }
  // Programs the server starts (the scanner, hooks) learn its port from
  // their environment.
  setenv("PORT", std::to_string(*port).c_str(), 1);
  lock->record(*port);
  if (auto error = lumenfold::common::write_file_atomically(state.settings.data_dir / lumenfold::common::kPortFileName,
                                                            std::to_string(*port))) {
    return fail(*error);
  }
  for (auto& server : servers) {
    std::thread([&server] { server->listen_after_bind(); }).detach();
  }

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  for (auto& server : servers) server->stop();
  // Holding the routes' lock for good: the call in progress, if any, ends,
  // and no other starts. Connections still open (an idle keep-alive client,
  // a slow sender) are not waited for: ending the process closes them.
  routes.mutex().lock();
  // The last calls' memory reaches the disk before we exit; a failure to
  // get it there is said, not swallowed.
  int status = 0;
  if (std::optional<std::string> error = state.state_files.sync_all()) {
    status = fail("memory files may not be on disk: " + *error);
  }
  std::cerr.flush();
  std::_Exit(status);
}

}  // namespace

int main() {
  try {
    return run();
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}
