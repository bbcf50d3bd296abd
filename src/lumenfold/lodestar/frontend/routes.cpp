#include "lumenfold/lodestar/frontend/routes.h"

#include <unistd.h>

#include <optional>
#include <string>
#include <utility>

#include "lumenfold/lodestar/frontend/distribution_files.h"
#include "lumenfold/lodestar/frontend/health.h"
#include "lumenfold/lodestar/frontend/ingest_graph.h"
#include "lumenfold/lodestar/frontend/prime.h"
#include "lumenfold/lodestar/frontend/serial_routes.h"
#include "lumenfold/lodestar/frontend/token_log.h"
#include "lumenfold/lodestar/server/server_state.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;

namespace {

void send(const RouteAnswer& answer, httplib::Response& res) {
  res.status = answer.status;
  res.set_content(answer.body, answer.content_type.c_str());
}

// The largest bodies each route reads. A token-usage line is a few
// hundred bytes. An uploaded information graph carries up to 24000
// characters of every file, so its limit sits well above a large project's
// graph while still keeping a runaway upload from exhausting memory.
constexpr size_t kMaxTokenLogBodyBytes = size_t{64} << 10;
constexpr size_t kMaxIngestBodyBytes = size_t{512} << 20;

// Where each distribution route's file lives beside the server. The
// routes keep their historical names; this build's programs are native.
struct FileRoute {
  const char* path;
  const char* file;
};
constexpr FileRoute kFileRoutes[] = {
    {"/tslc", "tslc"}, {"/tsl", "tsl"}, {"/surveyor.py", "surveyor"}, {"/lodestar.py", "lodestar"}};

}  // namespace

void register_routes(SerialRoutes& routes, ServerState& state, const fs::path& program_dir) {
  routes.get("/prime", [&state](const httplib::Request&, httplib::Response& res) {
    res.set_content(prime_text(state), "text/plain; charset=utf-8");
  });
  routes.get("/health", [&state](const httplib::Request&, httplib::Response& res) {
    send(health_answer(state.settings.project_root, static_cast<int>(getpid())), res);
  });
  routes.post("/log", kMaxTokenLogBodyBytes,
              [&state](const httplib::Request&, std::string body, httplib::Response& res) {
                send(log_token_usage(body, state.settings.data_dir / kTokenLogFileName, state.now()), res);
              });
  routes.post("/ingest-graph", kMaxIngestBodyBytes,
              [&state](const httplib::Request&, std::string body, httplib::Response& res) {
                send(ingest_graph(std::move(body), state), res);
              });
  routes.get("/install.sh", [](const httplib::Request& req, httplib::Response& res) {
    std::optional<std::string> host;
    if (req.has_header("Host")) host = req.get_header_value("Host");
    std::optional<std::string> base = download_base(host, req.local_port);
    if (!base) return send({400, "text/plain", "the Host header is not a host name and port\n"}, res);
    res.set_content(install_script(*base), "text/plain; charset=utf-8");
  });
  for (const FileRoute& route : kFileRoutes) {
    std::string file = route.file;
    routes.get(route.path, [program_dir, file](const httplib::Request&, httplib::Response& res) {
      send(serve_distribution_file(program_dir, file), res);
    });
  }
  routes.refuse_other_methods("/prime", {"GET"});
  routes.refuse_other_methods("/health", {"GET"});
  routes.refuse_other_methods("/log", {"POST"});
  routes.refuse_other_methods("/ingest-graph", {"POST"});
  routes.refuse_other_methods("/install.sh", {"GET"});
  for (const FileRoute& route : kFileRoutes) routes.refuse_other_methods(route.path, {"GET"});
}

}  // namespace lumenfold::lodestar
