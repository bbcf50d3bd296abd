#include "lumenfold/launcher/options.h"

#include <system_error>

#include "lumenfold/common/dynamic.h"

namespace lumenfold::launcher {

namespace fs = std::filesystem;

namespace {

// The name that starts Codex CLI; every other name starts Claude Code.
constexpr std::string_view kCodexProgramName = "tslc";
constexpr int kMaxPort = 65535;

// The value of option `name` at args[i] ("--name VALUE" or "--name=VALUE"),
// advancing `i` past it; nullopt when args[i] is not that option.
std::optional<common::Result<std::string>> option_value(std::span<const std::string> args, size_t& i,
                                                        std::string_view name) {
  const std::string& arg = args[i];
  if (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=') {
    return common::Result<std::string>(arg.substr(name.size() + 1));
  }
  if (arg != name) return std::nullopt;
  if (i + 1 >= args.size()) return common::Result<std::string>(common::Error{std::string(name) + " needs a value"});
  return common::Result<std::string>(args[++i]);
}

common::Result<int> parse_port(const std::string& text) {
  std::optional<int64_t> port = common::parse_integer(text);
  if (!port || *port < 1 || *port > kMaxPort) return common::Error{"--port " + text + " is not a port"};
  return static_cast<int>(*port);
}

}  // namespace

Agent agent_for_program_name(std::string_view argv0) {
  size_t slash = argv0.rfind('/');
  std::string_view name = slash == std::string_view::npos ? argv0 : argv0.substr(slash + 1);
  return name == kCodexProgramName ? Agent::kCodex : Agent::kClaudeCode;
}

common::Result<Options> parse_options(std::span<const std::string> args) {
  Options options;
  const bool hook_mode = !args.empty() && args[0] == "--hook";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      options.agent_args.insert(options.agent_args.end(), args.begin() + static_cast<ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (auto root = option_value(args, i, "--root")) {
      if (!*root) return common::Error{root->error()};
      options.root = fs::path(**root);
    } else if (auto hook = hook_mode ? option_value(args, i, "--hook") : std::nullopt) {
      if (!*hook) return common::Error{hook->error()};
      options.command = Command::kHook;
      options.hook = **hook;
    } else if (auto port = hook_mode ? option_value(args, i, "--port") : std::nullopt) {
      if (!*port) return common::Error{port->error()};
      common::Result<int> number = parse_port(**port);
      if (!number) return common::Error{number.error()};
      options.port = *number;
    } else if (arg == "--status") {
      options.command = Command::kStatus;
    } else if (arg == "--stop") {
      options.command = Command::kStop;
    } else if (arg == "--help") {
      options.command = Command::kHelp;
    } else {
      options.agent_args.push_back(arg);
    }
  }
  return options;
}

fs::path find_project_root(const fs::path& dir) {
  std::error_code ec;
  for (fs::path at = dir;; at = at.parent_path()) {
    if (fs::exists(fs::symlink_status(at / ".git", ec))) return at;
    if (at == at.parent_path()) return dir;
  }
}

common::Result<fs::path> resolve_project_root(const std::optional<fs::path>& root_option) {
  std::error_code ec;
  fs::path start = root_option ? *root_option : fs::current_path(ec);
  if (ec) return common::Error{"cannot read the current directory: " + ec.message()};
  fs::path canonical = fs::canonical(start, ec);
  if (ec || !fs::is_directory(canonical)) return common::Error{"--root " + start.string() + " is not a directory"};
  return root_option ? canonical : find_project_root(canonical);
}

}  // namespace lumenfold::launcher
