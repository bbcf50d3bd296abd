#include "lumenfold/lodestar/tools/graph_scan.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/memory/reconcile.h"
#include "lumenfold/lodestar/server/graph_documents_store.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"
#include "lumenfold/surveyor/graph_documents.h"
#include "lumenfold/surveyor/scan.h"
#include "lumenfold/surveyor/scan_state.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

std::string home_directory(const std::string& user) {
  if (user.empty()) {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (passwd* pw = getpwuid(getuid())) return pw->pw_dir;
    return "";
  }
  passwd* pw = getpwnam(user.c_str());
  return pw ? pw->pw_dir : "";
}

// "~" and "~user" at the start, as shells expand them; anything else, or an
// unknown user, is left as written.
std::string expand_home(const std::string& path) {
  if (path.empty() || path[0] != '~') return path;
  size_t slash = path.find('/');
  std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  std::string home = home_directory(user);
  if (home.empty()) return path;
  return slash == std::string::npos ? home : home + path.substr(slash);
}

std::string locked_refusal(const std::string& locked, const std::string& root) {
  return "MCP server is locked to " + locked + "; refusing graph_scan(" + root +
         "). Each Claude/Codex session uses its own MCP process bound to one project \xE2\x80\x94 run tslc/tsl in the "
         "other project's directory to spawn a separate server for it.";
}

}  // namespace

fs::path resolve_user_path(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(expand_home(path), ec);
  fs::path resolved = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal() : resolved;
}

Json graph_scan(const GraphScanArgs& args, ServerState& state) {
  fs::path root = resolve_user_path(args.project_root);
  const std::string root_text = root.string();
  Settings& settings = state.settings;
  // The lock comes first: answering "Not a directory" for some other paths
  // would tell a caller which paths of the machine are directories.
  if (settings.locked_project_root && *settings.locked_project_root != root) {
    std::string locked = settings.locked_project_root->string();
    return Json{{"ok", false},
                {"error", locked_refusal(locked, root_text)},
                {"locked_project_root", locked},
                {"attempted_project_root", root_text}};
  }
  if (!fs::is_directory(root)) return Json{{"ok", false}, {"error", "Not a directory: " + root_text}};

  // A rescan reads and analyses only the files changed since the last scan
  // this server wrote with its state.
  const fs::path scan_state = settings.data_dir / surveyor::kScanStateFileName;
  const surveyor::ScanDocuments docs = surveyor::scan_documents(
      root, surveyor::load_previous_scan(root, settings.info_graph_file(), settings.symbol_index_file(), scan_state),
      {});
  store_graph_documents(docs, state);
  // Without it the next scan merely reads every file again.
  (void)surveyor::write_scan_state(scan_state, root, settings.info_graph_file(), settings.symbol_index_file(),
                                   docs.records);

  settings.project_root = root;
  std::error_code ec;
  fs::remove(settings.retrieval_cache_file(), ec);
  state.action_graph.reset(state.now_seconds());
  state.turn.reset();

  const int64_t file_count = docs.file_count;
  const int64_t symbol_count = docs.symbol_count;
  const int64_t edge_count = docs.edge_count;
  log_tool(settings.log_file(), state.now(), "graph_scan",
           Json{{"project_root", root_text}, {"files", file_count}, {"symbols", symbol_count}, {"edges", edge_count}});
  return Json{{"ok", true},
              {"project_root", root_text},
              {"file_count", file_count},
              {"symbol_count", symbol_count},
              {"edge_count", edge_count},
              {"message", "Graph built. Use graph_continue or graph_retrieve to query."}};
}

}  // namespace lumenfold::lodestar
