#include "lumenfold/launcher/agent.h"

#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"

namespace lumenfold::launcher {

namespace fs = std::filesystem;
using common::Json;

namespace {

// The name the agent knows the server by.
constexpr char kServerName[] = "tessel";
// When Claude Code asks for the priming text: a new, resumed, cleared or
// compacted conversation each starts without it.
constexpr const char* kPrimeMatchers[] = {"startup", "resume", "clear", "compact"};
// Seconds Claude Code gives a hook; ours bound their own HTTP waits well
// below this.
constexpr int kHookTimeoutSeconds = 10;

// `text` as one word for a POSIX shell, which runs the hook commands.
std::string shell_quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Json hook_command(const fs::path& self, const char* hook, int port, const fs::path& root) {
  std::string command = shell_quoted(self.string()) + " --hook " + hook + " --port " + std::to_string(port) +
                        " --root " + shell_quoted(root.string());
  return Json::array({Json{{"type", "command"}, {"command", command}, {"timeout", kHookTimeoutSeconds}}});
}

std::string claude_mcp_config(int port) {
  Json server{{"type", "http"}, {"url", mcp_url(port)}};
  return common::dump_compact(Json{{"mcpServers", Json{{kServerName, server}}}});
}

std::string claude_settings(int port, const fs::path& self, const fs::path& root) {
  Json session_start = Json::array();
  for (const char* matcher : kPrimeMatchers) {
    session_start.push_back(Json{{"matcher", matcher}, {"hooks", hook_command(self, "prime", port, root)}});
  }
  Json stop = Json::array({Json{{"hooks", hook_command(self, "stop", port, root)}}});
  return common::dump_compact(Json{{"hooks", Json{{"SessionStart", session_start}, {"Stop", stop}}}});
}

std::string codex_server_setting(int port) {
  return std::string("mcp_servers.") + kServerName + ".url=\"" + mcp_url(port) + "\"";
}

}  // namespace

std::string agent_program(Agent agent) { return agent == Agent::kCodex ? "codex" : "claude"; }

std::string mcp_url(int port) { return "http://127.0.0.1:" + std::to_string(port) + "/mcp"; }

std::vector<std::string> agent_arguments(Agent agent, int port, const fs::path& self, const fs::path& root,
                                         std::span<const std::string> user_args) {
  std::vector<std::string> args;
  if (agent == Agent::kCodex) {
    args = {"-c", codex_server_setting(port)};
  } else {
    args = {"--mcp-config", claude_mcp_config(port), "--settings", claude_settings(port, self, root)};
  }
  args.insert(args.end(), user_args.begin(), user_args.end());
  return args;
}

std::string manual_connection_text(int port) {
  return "  claude mcp add --transport http " + std::string(kServerName) + " " + mcp_url(port) + "\n  codex -c '" +
         codex_server_setting(port) + "'\n";
}

}  // namespace lumenfold::launcher
