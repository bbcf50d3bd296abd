#pragma once
// Settings of the tool server, read once from the environment at start-up.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "lumenfold/common/data_dir_files.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/result.h"

namespace lumenfold::lodestar {

struct Settings {
  std::string tsl_base = "http://127.0.0.1:8787";  // remote graph API, used untrimmed
  std::string tsl_api_token;
  // Replaced by a successful graph_scan of an unlocked server.
  std::filesystem::path project_root;
  // Set when TESSEL_PROJECT_ROOT was present at start-up; never changes.
  std::optional<std::filesystem::path> locked_project_root;
  std::filesystem::path data_dir;
  int64_t hard_max_read_chars = 20000;
  int64_t turn_read_budget_chars = 60000;
  bool enforce_reuse_gate = true;
  bool enforce_single_retrieve = true;
  bool enforce_read_allowlist = false;
  int64_t fallback_max_calls_per_turn = 1;
  int64_t retrieve_cache_ttl_sec = 900;
  int64_t memory_first_min_overlap = 3;
  int64_t explore_read_budget_chars = 36000;
  int64_t explore_max_read_chars = 6000;
  bool tsl_local_retrieval = true;  // bind the built-in retrieval module
  int64_t session_start_epoch = 0;  // process start, whole Unix seconds
  // TSL_HOST: the one address to listen on; empty for the loopback
  // addresses (127.0.0.1 and ::1).
  std::string listen_host;
  // TSL_AUTH_TOKEN, trimmed: requests that present it as a bearer token get
  // in from anywhere. Required when listen_host is not a loopback address.
  std::string auth_token;
  // PORT: the port to listen on (the next free ones after it are tried
  // too); nullopt when not set, which lets a restarted server take its
  // previous port.
  std::optional<int> port;
  // The port the server listens on, set by main once it has chosen one (not
  // read from the environment); nullopt before, and in tests that need none.
  std::optional<int> listening_port;

  std::filesystem::path log_file() const { return data_dir / "mcp_tool_calls.jsonl"; }
  std::filesystem::path action_graph_file() const { return data_dir / "chat_action_graph.json"; }
  std::filesystem::path retrieval_cache_file() const { return data_dir / "retrieval_cache.json"; }
  std::filesystem::path symbol_index_file() const { return data_dir / "symbol_index.json"; }
  std::filesystem::path context_store_file() const { return data_dir / common::kContextStoreFileName; }
  std::filesystem::path info_graph_file() const { return data_dir / common::kInfoGraphFileName; }
};

// Looks up one environment variable; nullopt when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;

// Reads every setting through `env`. `program_dir` is the directory of the
// server's executable (the default data directory is "data" inside it);
// `now_epoch` becomes the session start. A bad integer is an error naming
// the variable. A TSL_HOST other than a loopback address without a
// TSL_AUTH_TOKEN is an error: it would let other machines in unchecked, and
// so is a PORT that is not a port number (checked last).
common::Result<Settings> read_settings(const EnvLookup& env, const std::filesystem::path& program_dir,
                                       int64_t now_epoch);

// The process environment as an EnvLookup.
EnvLookup process_environment();

// The directory of this program, links resolved: the distribution files,
// the scanner and the default data directory live beside it. The current
// directory when /proc does not say (and empty when that is gone too).
std::filesystem::path program_directory();

// The project root is resolved as common::resolve_path does it.
using common::resolve_path;

}  // namespace lumenfold::lodestar
