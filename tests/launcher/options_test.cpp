#include "lumenfold/launcher/options.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace lumenfold::launcher {
namespace {

namespace fs = std::filesystem;

TEST(FindProjectRootTest, TakesTheNearestAncestorHoldingGit) {
  struct Case {
    const char* name;
    std::vector<std::string> git_entries;  // directories, or files when ending in "!"
    std::string start;
    std::string expected;
  };
  const Case cases[] = {
      {"repository above", {"proj/.git/"}, "proj/a/b", "proj"},
      {"worktree file", {"proj/.git!"}, "proj/a", "proj"},
      {"nearest wins", {"proj/.git/", "proj/sub/.git!"}, "proj/sub/x", "proj/sub"},
      {"start itself", {"proj/.git/"}, "proj", "proj"},
      {"none: the start", {}, "proj/a", "proj/a"},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    fs::create_directories(dir.path() / c.start);
    for (const std::string& entry : c.git_entries) {
      if (entry.back() == '!') {
        dir.write(entry.substr(0, entry.size() - 1), "gitdir: elsewhere\n");
      } else {
        fs::create_directories(dir.path() / entry);
      }
    }
    EXPECT_EQ(find_project_root(dir.path() / c.start), dir.path() / c.expected) << c.name;
  }
}

TEST(ResolveProjectRootTest, RefusesARootThatIsNoDirectory) {
  testing::TempDir dir;
  dir.write("file", "");
  EXPECT_EQ(resolve_project_root(dir.path() / "file").error(),
            "--root " + (dir.path() / "file").string() + " is not a directory");
}

TEST(ParseOptionsTest, SplitsOwnOptionsFromTheAgents) {
  struct Case {
    std::vector<std::string> args;
    Command command;
    std::string root;
    std::vector<std::string> agent_args;
  };
  const Case cases[] = {
      {{"-p", "hi", "--root", "/p", "--model", "x"}, Command::kLaunch, "/p", {"-p", "hi", "--model", "x"}},
      {{"--root=/p", "--", "--status", "--root", "/q"}, Command::kLaunch, "/p", {"--status", "--root", "/q"}},
      {{"--status", "--root", "/p"}, Command::kStatus, "/p", {}},
      {{"--stop"}, Command::kStop, "", {}},
      {{"--help"}, Command::kHelp, "", {}},
      {{"--port", "9", "--hook", "stop"}, Command::kLaunch, "", {"--port", "9", "--hook", "stop"}},
  };
  for (const Case& c : cases) {
    auto options = parse_options(c.args);
    ASSERT_TRUE(options) << c.args[0];
    EXPECT_EQ(options->command, c.command) << c.args[0];
    EXPECT_EQ(options->root.value_or("").string(), c.root) << c.args[0];
    EXPECT_EQ(options->agent_args, c.agent_args) << c.args[0];
  }
}

TEST(ParseOptionsTest, ReadsTheHookMode) {
  std::vector<std::string> args = {"--hook", "stop", "--port", "8081", "--root", "/r"};
  auto options = parse_options(args);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->command, Command::kHook);
  EXPECT_EQ(options->hook, "stop");
  EXPECT_EQ(options->port, 8081);
  EXPECT_EQ(options->root, fs::path("/r"));
}

TEST(ParseOptionsTest, RefusesMissingValuesAndBadPorts) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {{"--root"}, "--root needs a value"},
      {{"--hook", "prime", "--port"}, "--port needs a value"},
      {{"--hook", "prime", "--port", "http"}, "--port http is not a port"},
      {{"--hook", "prime", "--port", "70000"}, "--port 70000 is not a port"},
  };
  for (const Case& c : cases) {
    auto options = parse_options(c.args);
    ASSERT_FALSE(options) << c.error;
    EXPECT_EQ(options.error(), c.error);
  }
}

TEST(AgentForProgramNameTest, TslcStartsCodexAndEveryOtherNameClaude) {
  EXPECT_EQ(agent_for_program_name("/usr/local/bin/tslc"), Agent::kCodex);
  EXPECT_EQ(agent_for_program_name("tslc"), Agent::kCodex);
  EXPECT_EQ(agent_for_program_name("/opt/tslc/tsl"), Agent::kClaudeCode);
  EXPECT_EQ(agent_for_program_name("tslc-old"), Agent::kClaudeCode);
}

}  // namespace
}  // namespace lumenfold::launcher
