// lodestar: the Tessel tool server. Serves the MCP tools and the plain
// HTTP routes for one project until SIGINT or SIGTERM.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include <httplib.h>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/frontend/mcp_http.h"
#include "lumenfold/lodestar/frontend/port_probe.h"
#include "lumenfold/lodestar/frontend/routes.h"
#include "lumenfold/lodestar/frontend/serial_routes.h"
#include "lumenfold/lodestar/graph/text_utils.h"
#include "lumenfold/lodestar/tools/mcp_server.h"
#include "lumenfold/lodestar/tools/registry.h"
#include "lumenfold/lodestar/tools/server_state.h"
#include "lumenfold/tsl/retrieval_module.h"

namespace fs = std::filesystem;
using namespace lumenfold::lodestar;

namespace {

constexpr int kDefaultPort = 8080;
// Hooks read the chosen port from this file in the data directory.
constexpr char kPortFileName[] = "mcp_port";
constexpr char kServerVersion[] = "1.0.0";
constexpr char kListenHost[] = "0.0.0.0";

// The directory of this program, links resolved: the distribution files
// and the default data directory live beside it.
fs::path program_directory() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : self.parent_path();
}

int fail(const std::string& message) {
  std::cerr << "lodestar: " << message << "\n";
  return 1;
}

int run() {
  // Block the stop signals before any thread starts, so that only the
  // sigwait below receives them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  fs::path program_dir = program_directory();
  auto settings = read_settings(process_environment(), program_dir, static_cast<int64_t>(now_epoch()));
  if (!settings) return fail(settings.error());

  int requested = kDefaultPort;
  if (const char* port_text = std::getenv("PORT")) {
    auto parsed = lumenfold::common::parse_integer(port_text);
    if (!parsed || *parsed < 1 || *parsed > 65535) return fail(std::string("PORT is not a port number: ") + port_text);
    requested = static_cast<int>(*parsed);
  }
  std::optional<int> port = probe_free_port(requested);
  if (!port) {
    return fail("no free port in " + std::to_string(requested) + "-" + std::to_string(requested + kPortProbeCount - 1));
  }
  fs::create_directories(settings->data_dir);
  // Left by a server killed while it saved a state file; an hour is far
  // longer than any save of a server still running beside this one.
  lumenfold::common::remove_stale_temporary_files(settings->data_dir, std::chrono::hours(1));
  setenv("PORT", std::to_string(*port).c_str(), 1);
  if (auto error = lumenfold::common::write_file_atomically(settings->data_dir / kPortFileName, std::to_string(*port))) {
    return fail(*error);
  }

  std::unique_ptr<RetrievalModule> retrieval = lumenfold::tsl::make_local_retrieval_module(*settings);
  ServerState state(std::move(*settings), std::move(retrieval));
  McpServer mcp({kServerName, kServerVersion}, build_tool_registry(state));
  httplib::Server server;
  SerialRoutes routes(server);
  register_routes(routes, state, program_dir);
  serve_mcp(routes, mcp);

  if (!server.bind_to_port(kListenHost, *port)) return fail("cannot listen on port " + std::to_string(*port));
  std::thread listener([&server] { server.listen_after_bind(); });
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  server.stop();
  listener.join();
  // The last calls' memory reaches the disk before we exit; a failure to
  // get it there is said, not swallowed.
  if (std::optional<std::string> error = lumenfold::common::sync_state_files()) {
    return fail("memory files may not be on disk: " + *error);
  }
  return 0;
}

}  // namespace

int main() {
  try {
    return run();
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}
