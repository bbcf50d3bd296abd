#include "lumenfold/lodestar/server/settings.h"

// Every setting is read exactly once, in a fixed order, so a start-up with
// several bad values always names the same (first) variable.

#include <cstdlib>
#include <system_error>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/server/loopback_origin.h"

namespace lumenfold::lodestar {
namespace fs = std::filesystem;
namespace {

// Where the server looks for a project when nobody says otherwise: the
// project directory of the container image it normally runs in.
constexpr std::string_view kDefaultProjectRoot = "/app/project";
// State files go into this directory beside the program when TSL_DATA_DIR
// is not set.
constexpr std::string_view kDefaultDataDirName = "data";
// The range of TCP port numbers (0 would mean "any", which PORT never asks).
constexpr int64_t kMinPort = 1;
constexpr int64_t kMaxPort = 65535;

class EnvReader {
 public:
  explicit EnvReader(const EnvLookup& env) : env_(env) {}

  std::string text(const char* name, std::string_view fallback) const {
    std::optional<std::string> value = env_(name);
    return value ? *value : std::string(fallback);
  }

  // A switch is on unless its trimmed text is exactly "0", "false" or
  // "False": an empty value, "no" and "FALSE" all leave it on.
  bool flag(const char* name, bool fallback) const {
    std::optional<std::string> value = env_(name);
    if (!value) return fallback;
    std::string_view t = common::trim(*value);
    return !(t == "0" || t == "false" || t == "False");
  }

  // Decimal integer text, blanks around it allowed. The first bad value
  // is remembered and reported by `error()`.
  int64_t integer(const char* name, int64_t fallback) {
    std::optional<std::string> value = env_(name);
    if (!value) return fallback;
    std::optional<int64_t> parsed = common::parse_integer(*value);
    if (parsed) return *parsed;
    if (!error_) {
      error_ = std::string(name) + " must be a decimal integer, got \"" + *value + "\"";
    }
    return fallback;
  }

  const std::optional<std::string>& error() const { return error_; }

 private:
  const EnvLookup& env_;
  std::optional<std::string> error_;
};

// Whether listening on `host` keeps the server to this machine.
bool is_loopback_listen_host(const std::string& host) { return host == "localhost" || is_loopback_address(host); }

}  // namespace

common::Result<Settings> read_settings(const EnvLookup& env, const fs::path& program_dir, int64_t now_epoch) {
  EnvReader read(env);
  Settings s;
  s.tsl_base = read.text("TSL_BASE_URL", s.tsl_base);
  s.tsl_api_token = std::string(common::trim(read.text("TSL_API_TOKEN", "")));

  std::optional<std::string> root_text = env("TESSEL_PROJECT_ROOT");
  s.project_root = resolve_path(root_text ? *root_text : std::string(kDefaultProjectRoot));
  if (root_text) s.locked_project_root = s.project_root;

  std::string data_dir = read.text("TSL_DATA_DIR", (program_dir / kDefaultDataDirName).string());
  s.data_dir = data_dir.empty() ? fs::path(".") : fs::path(data_dir);

  s.hard_max_read_chars = read.integer("TSL_HARD_MAX_READ_CHARS", s.hard_max_read_chars);
  s.turn_read_budget_chars = read.integer("TSL_TURN_READ_BUDGET_CHARS", s.turn_read_budget_chars);
  s.enforce_reuse_gate = read.flag("TSL_ENFORCE_REUSE_GATE", s.enforce_reuse_gate);
  s.enforce_single_retrieve = read.flag("TSL_ENFORCE_SINGLE_RETRIEVE", s.enforce_single_retrieve);
  s.enforce_read_allowlist = read.flag("TSL_ENFORCE_READ_ALLOWLIST", s.enforce_read_allowlist);
  s.fallback_max_calls_per_turn = read.integer("TSL_FALLBACK_MAX_CALLS_PER_TURN", s.fallback_max_calls_per_turn);
  s.retrieve_cache_ttl_sec = read.integer("TSL_RETRIEVE_CACHE_TTL_SEC", s.retrieve_cache_ttl_sec);
  s.memory_first_min_overlap = read.integer("TSL_MEMORY_FIRST_MIN_OVERLAP", s.memory_first_min_overlap);
  s.explore_read_budget_chars = read.integer("TSL_EXPLORE_READ_BUDGET_CHARS", s.explore_read_budget_chars);
  s.explore_max_read_chars = read.integer("TSL_EXPLORE_MAX_READ_CHARS", s.explore_max_read_chars);
  s.tsl_local_retrieval = read.flag("TSL_LOCAL_RETRIEVAL", s.tsl_local_retrieval);
  s.session_start_epoch = now_epoch;
  s.listen_host = std::string(common::trim(read.text("TSL_HOST", "")));
  s.auth_token = std::string(common::trim(read.text("TSL_AUTH_TOKEN", "")));

  if (read.error()) return common::Error{*read.error()};
  if (!s.listen_host.empty() && s.auth_token.empty() && !is_loopback_listen_host(s.listen_host)) {
    return common::Error{"TSL_HOST=" + s.listen_host +
                         " lets other machines reach the server: set TSL_AUTH_TOKEN to a secret they must present"};
  }
  if (std::optional<std::string> port_text = env("PORT")) {
    std::optional<int64_t> port = common::parse_integer(*port_text);
    if (!port || *port < kMinPort || *port > kMaxPort) return common::Error{"PORT is not a port number: " + *port_text};
    s.port = static_cast<int>(*port);
  }
  return s;
}

fs::path program_directory() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) : self.parent_path();
}

EnvLookup process_environment() {
  return [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
}

}  // namespace lumenfold::lodestar
