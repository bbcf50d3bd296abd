// tsl and tslc: start Claude Code (tsl) or Codex CLI (tslc) in a project,
// wired to the project's lodestar, which is started, shared and stopped
// as needed; the project is scanned first when it has no graph yet.

#include <signal.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "lumenfold/common/data_dir_files.h"
#include "lumenfold/launcher/agent.h"
#include "lumenfold/launcher/hooks.h"
#include "lumenfold/launcher/options.h"
#include "lumenfold/launcher/process.h"
#include "lumenfold/launcher/server_lease.h"
#include "lumenfold/launcher/status.h"

namespace fs = std::filesystem;
using namespace lumenfold::launcher;

namespace {

// Exit status of a command-line usage error, as most Unix tools use.
constexpr int kUsageError = 2;

constexpr char kUsage[] = R"(usage: tsl  [--root DIR] [CLAUDE ARGS...] [-- CLAUDE ARGS...]
       tslc [--root DIR] [CODEX ARGS...] [-- CODEX ARGS...]
       tsl --status | --stop [--root DIR]

Starts Claude Code (tsl) or Codex CLI (tslc) connected to the project's
lodestar. The project is the nearest directory above the current one that
holds .git (else the current directory), or --root DIR. Its server is
started when none runs and stopped when the last launcher in the project
exits, unless it was started by hand; the project is scanned first when it
has no graph yet. Every other argument goes to the agent.

  --root DIR   the project root
  --status     show the project's server, graph, memories and launchers
  --stop       stop the project's server
  --help       this text
)";

int fail(const std::string& message) {
  std::cerr << "tsl: " << message << "\n";
  return 1;
}

// Runs the scanner when the project has no graph yet, its progress on the
// terminal. An error when it could not be run or failed.
std::optional<std::string> scan_if_needed(const fs::path& root) {
  fs::path graph = data_dir_of(root) / lumenfold::common::kInfoGraphFileName;
  std::error_code ec;
  if (fs::exists(graph, ec)) return std::nullopt;
  std::optional<fs::path> surveyor = find_program("surveyor", /*beside_self=*/true);
  if (!surveyor) return "surveyor is neither beside tsl nor on PATH";
  std::cerr << "tsl: scanning " << root.string() << "\n";
  // The scanner's report goes to stderr too: stdout belongs to the agent.
  auto status = run_in_foreground({surveyor->string(), "--root", root.string(), "--out", graph.string(), "--progress"},
                                  /*stdout_to_stderr=*/true);
  if (!status) return status.error();
  if (*status != 0)
    return "the scan of " + root.string() + " failed (surveyor exit status " + std::to_string(*status) + ")";
  return std::nullopt;
}

// No agent to start: the server stays up for one connected by hand until
// SIGINT or SIGTERM.
void serve_until_interrupted(const std::string& program, int port, const fs::path& root) {
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop_signals, signal_number);
  // A shell starts a background job with SIGINT ignored, and an ignored
  // signal never reaches sigwait; here it is how the user says stop.
  signal(SIGINT, SIG_DFL);
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  std::cout << "tsl: " << program << " is not on PATH. lodestar serves " << root.string() << " on port " << port
            << "; connect an agent by hand:\n"
            << manual_connection_text(port) << "Press Ctrl-C to stop the server.\n"
            << std::flush;
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
}

int launch(Agent agent, const Options& options) {
  auto root = resolve_project_root(options.root);
  if (!root) return fail(root.error());
  fs::path data_dir = data_dir_of(*root);
  std::error_code ec;
  fs::create_directories(data_dir, ec);
  if (ec) return fail("cannot create " + data_dir.string() + ": " + ec.message());
  std::optional<fs::path> lodestar = find_program("lodestar", /*beside_self=*/true);
  if (!lodestar) return fail("lodestar is neither beside tsl nor on PATH");

  std::optional<ServerLease> lease;
  {
    auto lock = lock_launchers(data_dir);
    if (!lock) return fail(lock.error());
    if (auto error = scan_if_needed(*root)) return fail(*error);
    auto acquired = ServerLease::acquire(*root, *lodestar, *lock);
    if (!acquired) return fail(acquired.error());
    lease.emplace(std::move(*acquired));
  }

  std::string program = agent_program(agent);
  std::optional<fs::path> agent_path = find_program(program, /*beside_self=*/false);
  if (!agent_path) {
    serve_until_interrupted(program, lease->port(), *root);
    return 0;
  }
  std::vector<std::string> argv = {agent_path->string()};
  for (std::string& arg : agent_arguments(agent, lease->port(), self_path(), *root, options.agent_args)) {
    argv.push_back(std::move(arg));
  }
  auto status = run_in_foreground(argv, /*stdout_to_stderr=*/false);
  if (!status) return fail(status.error());
  return *status;
}

int run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  auto options = parse_options(args);
  if (!options) {
    std::cerr << "tsl: " << options.error() << "\n" << kUsage;
    return kUsageError;
  }
  switch (options->command) {
    case Command::kHelp:
      std::cout << kUsage;
      return 0;
    case Command::kHook:
      return run_hook(options->hook, options->port, options->root.value_or(fs::current_path()));
    case Command::kStatus:
    case Command::kStop: {
      auto root = resolve_project_root(options->root);
      if (!root) return fail(root.error());
      return options->command == Command::kStatus ? print_status(*root) : stop_project_server(*root);
    }
    case Command::kLaunch:
      break;
  }
  return launch(agent_for_program_name(argc > 0 ? argv[0] : ""), *options);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}
