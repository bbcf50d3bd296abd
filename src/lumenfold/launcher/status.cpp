#include "lumenfold/launcher/status.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "lumenfold/common/data_dir_files.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_simd.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/launcher/server_lease.h"

namespace lumenfold::launcher {

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 60 * kSecondsPerMinute;
constexpr int64_t kSecondsPerDay = 24 * kSecondsPerHour;

// "42 s ago", "3 min ago", "5 h ago", "2 days ago".
std::string age_text(int64_t seconds) {
  if (seconds < kSecondsPerMinute) return std::to_string(seconds) + " s ago";
  if (seconds < kSecondsPerHour) return std::to_string(seconds / kSecondsPerMinute) + " min ago";
  if (seconds < kSecondsPerDay) return std::to_string(seconds / kSecondsPerHour) + " h ago";
  return std::to_string(seconds / kSecondsPerDay) + " days ago";
}

std::string server_line(const fs::path& root) {
  std::optional<RunningServer> server = find_running_server(root);
  if (!server) return "not running";
  return "running, pid " + std::to_string(server->health.pid) + ", port " + std::to_string(server->port) +
         ", version " + server->health.version;
}

std::string graph_line(const fs::path& data_dir) {
  fs::path graph = data_dir / common::kInfoGraphFileName;
  std::error_code ec;
  fs::file_time_type written = fs::last_write_time(graph, ec);
  if (ec) return "not scanned yet";
  auto age = std::chrono::duration_cast<std::chrono::seconds>(fs::file_time_type::clock::now() - written);
  std::string line = "scanned " + age_text(std::max<int64_t>(age.count(), 0));
  std::optional<std::string> text = common::read_file(graph);
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = text ? common::parse_fast(parser, *text) : std::nullopt;
  int64_t files = 0;
  int64_t symbols = 0;
  if (!doc || (*doc)["file_count"].get(files) || (*doc)["symbol_count"].get(symbols)) return line + ", unreadable";
  return line + ", " + std::to_string(files) + " files, " + std::to_string(symbols) + " symbols";
}

size_t memory_count(const fs::path& data_dir) {
  std::optional<common::Json> store = common::read_state_file(data_dir / common::kContextStoreFileName);
  return store && store->is_array() ? store->size() : 0;
}

// The pid in the server lock when a server holds it: one that does not
// answer on its port.
std::optional<int64_t> silent_server_pid(const fs::path& data_dir) {
  fs::path lock = data_dir / common::kServerLockFileName;
  std::error_code ec;
  if (!fs::exists(lock, ec) || FileLock::try_take(lock, /*create=*/false)) return std::nullopt;
  std::istringstream text(common::read_file(lock).value_or(""));
  int64_t pid = 0;
  if (!(text >> pid) || pid <= 0) return std::nullopt;
  return pid;
}

}  // namespace

int print_status(const fs::path& root) {
  fs::path data_dir = data_dir_of(root);
  std::cout << "project:   " << root.string() << "\n"
            << "server:    " << server_line(root) << "\n"
            << "graph:     " << graph_line(data_dir) << "\n"
            << "memories:  " << memory_count(data_dir) << "\n"
            << "launchers: " << count_live_leases(data_dir, /*remove_stale=*/false) << "\n";
  return 0;
}

int stop_project_server(const fs::path& root) {
  fs::path data_dir = data_dir_of(root);
  std::error_code ec;
  std::optional<FileLock> lock;
  if (fs::is_directory(data_dir, ec)) {
    common::Result<FileLock> taken = lock_launchers(data_dir);
    if (taken) lock = std::move(*taken);
  }
  std::optional<RunningServer> server = find_running_server(root);
  std::optional<int64_t> pid = server ? std::optional<int64_t>(server->health.pid) : silent_server_pid(data_dir);
  if (!pid) {
    std::cout << "no lodestar is running for " << root.string() << "\n";
    return 0;
  }
  std::string which = "lodestar (pid " + std::to_string(*pid) +
                      (server ? ", port " + std::to_string(server->port) : std::string(", not answering")) + ")";
  if (!stop_server(data_dir, *pid)) {
    std::cout << which << " did not stop after SIGTERM\n";
    return 1;
  }
  std::cout << "stopped " << which << " for " << root.string() << "\n";
  return 0;
}

}  // namespace lumenfold::launcher
