// A small MCP server for the end-to-end harness: two dummy tools behind the
// real endpoint, so the official client can be run against our protocol
// layer without a project or data files.
//
// Environment: PORT (required) is the loopback port to listen on;
// TSL_DATA_DIR, when set, receives the port in "mcp_port" once the port is
// bound, as lodestar reports it. SIGINT and SIGTERM stop it with status 0.

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include <httplib.h>

#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/frontend/mcp_route.h"
#include "lumenfold/lodestar/frontend/serial_routes.h"
#include "lumenfold/lodestar/mcp/mcp_server.h"

namespace {

using lumenfold::common::Json;
using namespace lumenfold::lodestar;

Json echo(const Json& args) {
  std::string text;
  for (int64_t i = 0; i < args["times"].get<int64_t>(); ++i) text += args["text"].get<std::string>();
  Json out = Json::object();
  out["text"] = text;
  out["times"] = args["times"];
  return out;
}

ToolRegistry dummy_tools() {
  ToolRegistry tools;
  tools.add({.name = "echo",
             .description = "Echo a text.\n\n        Args:\n            text: What to echo.\n        ",
             .params = {required_param("text", ParamType::kString), defaulted_param("times", ParamType::kInteger, 1)},
             .handler = echo});
  tools.add({.name = "fail",
             .description = "Always fails.",
             .params = {nullable_param("tags", ParamType::kStringList)},
             .handler = [](const Json&) -> Json { throw std::runtime_error("deliberate failure"); }});
  return tools;
}

}  // namespace

int main() {
  const char* port_text = std::getenv("PORT");
  int port = port_text ? std::atoi(port_text) : 0;
  if (port <= 0) {
    std::fprintf(stderr, "fake_mcp_server: set PORT to a free port\n");
    return 2;
  }

  // Block the stop signals before any thread starts, so every thread
  // inherits the mask and only sigwait() below receives them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  McpServer mcp({.name = "fake-mcp", .version = "0.0.1"}, dummy_tools());
  httplib::Server server;
  SerialRoutes routes(server);
  serve_mcp(routes, mcp);
  if (!server.bind_to_port("127.0.0.1", port)) {
    std::fprintf(stderr, "fake_mcp_server: cannot bind 127.0.0.1:%d\n", port);
    return 1;
  }
  if (const char* data_dir = std::getenv("TSL_DATA_DIR")) {
    std::filesystem::create_directories(data_dir);
    auto error =
        lumenfold::common::write_file_atomically(std::filesystem::path(data_dir) / "mcp_port", std::to_string(port));
    if (error) {
      std::fprintf(stderr, "fake_mcp_server: %s\n", error->c_str());
      return 1;
    }
  }

  std::thread serving([&server] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::yield();
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  server.stop();
  serving.join();
  return 0;
}
