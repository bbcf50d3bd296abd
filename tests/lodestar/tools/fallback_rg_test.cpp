#include "lumenfold/lodestar/tools/fallback_rg.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/tools/graph_retrieve.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using lumenfold::testing::TempDir;

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string current_path_variable() {
  const char* path = std::getenv("PATH");
  return path ? path : "/usr/bin:/bin";
}

class FallbackRgTest : public ::testing::Test {
 protected:
  FallbackRgTest()
      : state_(testing::make_test_state(
            dir_, {{"http://127.0.0.1:8787/api/chat-fix", R"({"ok": true, "graph_files": []})"}})),
        path_(("PATH"), (dir_.path() / "bin").string() + ":" + current_path_variable()) {}

  // Installs an "rg" that records its arguments, working directory and one
  // environment variable, then runs `body` (shell) to produce its output.
  void fake_rg(const std::string& body) {
    const fs::path seen = dir_.path() / "seen";
    fs::path script = dir_.write("bin/rg", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + seen.string() + ".args'\npwd > '" +
                                               seen.string() + ".cwd'\nprintf '%s' \"$FAKE_RG_MARK\" > '" +
                                               seen.string() + ".env'\n" + body + "\n");
    fs::permissions(script, fs::perms::owner_all);
  }
  void fake_output(const std::string& output) {
    dir_.write("out.txt", output);
    fake_rg("cat '" + (dir_.path() / "out.txt").string() + "'");
  }
  Json search(const std::string& pattern, int64_t max_hits = 30) { return fallback_rg({pattern, max_hits}, *state_); }

  TempDir dir_;
  std::unique_ptr<ServerState> state_;
  ScopedEnv path_;
};

TEST_F(FallbackRgTest, PassesThePatternAsAPatternInTheProjectRoot) {
  fake_output("");
  ScopedEnv mark("FAKE_RG_MARK", "inherited");
  EXPECT_EQ(search("--pre=sh", 7), Json::parse(R"({"ok": true, "pattern": "--pre=sh", "hits": []})"));
  EXPECT_EQ(dir_.read("seen.args"), "-n\n-S\n--max-count\n7\n-e\n--pre=sh\n.\n");
  EXPECT_EQ(dir_.read("seen.cwd"), state_->settings.project_root.string() + "\n");
  EXPECT_EQ(dir_.read("seen.env"), "inherited");
  EXPECT_EQ(testing::logged_payloads(dir_),
            std::vector<Json>{Json::parse(R"({"pattern": "--pre=sh", "max_hits": 7})")});
  EXPECT_TRUE(load_action_graph(state_->settings.action_graph_file())["actions"].empty());
  EXPECT_EQ(state_->turn.fallback_calls, 1);
}

TEST_F(FallbackRgTest, SplitsEachLineAtItsFirstTwoColons) {
  fake_output(
      "./src/a.py:12:x = {'k': 1}  # note: keep\n"
      "no separators at all\n"
      "only:one colon\n"
      "./b.py:3:\n"
      "./c.py:4:ends with a carriage return\r\n"
      "./d.py:5:bad \xFF byte\n"
      "./e.py:6:no final line break");
  Json hits = search("x")["hits"];
  EXPECT_EQ(hits, Json::parse(R"([
    {"file": "./src/a.py", "line": "12", "text": "x = {'k': 1}  # note: keep"},
    {"file": "./b.py", "line": "3", "text": ""},
    {"file": "./c.py", "line": "4", "text": "ends with a carriage return\r"},
    {"file": "./d.py", "line": "5", "text": "bad  byte"},
    {"file": "./e.py", "line": "6", "text": "no final line break"}])"));
}

TEST_F(FallbackRgTest, StopsAtMaxHitsInOutputOrder) {
  fake_output("./a:1:one\n./a:2:two\n./a:3:three\n./a:4:four\n./a:5:five\n");
  Json hits = search("o", 2)["hits"];
  EXPECT_EQ(hits, Json::parse(
                      R"([{"file": "./a", "line": "1", "text": "one"}, {"file": "./a", "line": "2", "text": "two"}])"));
}

TEST_F(FallbackRgTest, EndlessOutputIsCutAtMaxHits) {
  fake_rg("exec yes './src/a.py:1:match'");
  Json hits = search("match", 3)["hits"];
  EXPECT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[2], Json::parse(R"({"file": "./src/a.py", "line": "1", "text": "match"})"));
}

TEST_F(FallbackRgTest, SecondSearchOfTheTurnIsRefusedUntilANewQuery) {
  fake_output("./a:1:x\n");
  state_->turn.query_key = "login";
  EXPECT_EQ(search("x")["ok"], true);
  Json refused = search("y", 4);
  EXPECT_EQ(refused, Json::parse(R"({"ok": false, "error": "fallback_rg call limit reached for this query turn",
    "fallback_calls": 1, "fallback_max_calls": 1})"));
  EXPECT_EQ(state_->turn.fallback_calls, 1);
  EXPECT_EQ(testing::logged_payloads(dir_).back(),
            Json::parse(R"({"pattern": "y", "max_hits": 4, "mode": "fallback_blocked_limit",
    "fallback_calls": 1, "fallback_max_calls": 1})"));
  Json actions = load_action_graph(state_->settings.action_graph_file())["actions"];
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0]["payload"],
            Json::parse(R"({"kind": "fallback_blocked_limit", "mode": "fallback_blocked_limit", "pattern": "y"})"));

  graph_retrieve({"payment gateway", 5, 12}, *state_);
  EXPECT_EQ(search("x")["ok"], true);
}

TEST_F(FallbackRgTest, ZeroAllowanceBlocksEveryCall) {
  fake_output("./a:1:x\n");
  state_->settings.fallback_max_calls_per_turn = 0;
  Json refused = search("x");
  EXPECT_EQ(refused["fallback_calls"], 0);
  EXPECT_EQ(refused["fallback_max_calls"], 0);
  EXPECT_FALSE(fs::exists(dir_.path() / "seen.args"));
}

TEST_F(FallbackRgTest, MissingProgramFailsWithoutUsingTheCall) {
  ScopedEnv path("PATH", (dir_.path() / "empty").string());
  EXPECT_THROW(search("x"), std::runtime_error);
  EXPECT_EQ(state_->turn.fallback_calls, 0);
}

TEST_F(FallbackRgTest, AFailedSearchWithoutHitsIsAnErrorAndCounts) {
  struct Case {
    const char* name;
    std::string rg_body;
    Json answer;
  } cases[] = {
      {"bad pattern", "printf 'regex parse error:\\n    [\\n    ^\\nerror: unclosed character class\\n' >&2; exit 2",
       Json{{"ok", false}, {"error", "rg: regex parse error:\n    [\n    ^\nerror: unclosed character class"}}},
      {"no match", "exit 1", Json::parse(R"({"ok": true, "pattern": "[", "hits": []})")},
      {"hits before a failure", "echo './a.py:1:x['; echo './b.py: Permission denied (os error 13)' >&2; exit 2",
       Json::parse(R"({"ok": true, "pattern": "[", "hits": [{"file": "./a.py", "line": "1", "text": "x["}]})")},
      {"silent failure", "exit 2", Json{{"ok", false}, {"error", "rg: failed without a message"}}},
      {"a flood of complaints, first lines only",
       "yes './x: Permission denied (os error 13)' | head -n 5000 >&2; exit 2",
       Json{{"ok", false},
            {"error",
             "rg: ./x: Permission denied (os error 13)\n./x: Permission denied (os error 13)\n"
             "./x: Permission denied (os error 13)\n./x: Permission denied (os error 13)\n"
             "./x: Permission denied (os error 13)\n./x: Permission denied (os error 13)\n"
             "./x: Permission denied (os error 13)\n./x: Permission denied (os error 13)"}}},
  };
  for (const Case& c : cases) {
    fake_rg(c.rg_body);
    state_->turn.fallback_calls = 0;
    EXPECT_EQ(search("["), c.answer) << c.name;
    EXPECT_EQ(state_->turn.fallback_calls, 1) << c.name;
  }
}

TEST_F(FallbackRgTest, ALongComplaintIsCutAtFourHundredCharacters) {
  fake_rg("printf '%0300d\\n%0300d\\n' 1 2 >&2; exit 2");
  std::string error = search("[")["error"];
  EXPECT_EQ(error, "rg: " + std::string(299, '0') + "1\n" + std::string(99, '0'));
}

TEST_F(FallbackRgTest, APatternWithANulIsRefusedBeforeRgRuns) {
  fake_output("./a:1:x\n");
  Json refused = search(std::string("ab\0cd", 5));
  EXPECT_EQ(refused, Json({{"ok", false}, {"error", kFallbackNulPatternError}}));
  EXPECT_EQ(refused["error"], "fallback_rg pattern must not contain a NUL character (write \\x00 to search for one)");
  EXPECT_FALSE(fs::exists(dir_.path() / "seen.args"));
  EXPECT_FALSE(fs::exists(state_->settings.log_file()));
  EXPECT_EQ(state_->turn.fallback_calls, 0);
}

// The real rg, when installed: patterns that look like options or are not
// valid regular expressions.
class RealRgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("rg --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "rg is not installed";
    dir_.write("proj/opts.txt", "run with --pre=sh here\nand -foo there\nor -f/etc/passwd after\n");
  }
  Json search(const std::string& pattern) {
    state_->turn.fallback_calls = 0;
    return fallback_rg({pattern, 30}, *state_);
  }

  TempDir dir_;
  std::unique_ptr<ServerState> state_ = testing::make_test_state(dir_);
};

TEST_F(RealRgTest, PatternsStartingWithADashAreSearchedFor) {
  struct Case {
    const char* pattern;
    const char* line;
    const char* text;
  } cases[] = {
      {"--pre=sh", "1", "run with --pre=sh here"},
      {"-foo", "2", "and -foo there"},
      {"-f/etc/passwd", "3", "or -f/etc/passwd after"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(search(c.pattern)["hits"],
              Json::array({Json{{"file", "./opts.txt"}, {"line", c.line}, {"text", c.text}}}))
        << c.pattern;
  }
}

TEST_F(RealRgTest, InvalidPatternsAreErrorsAndCount) {
  for (const char* pattern : {"(unclosed", "["}) {
    Json out = search(pattern);
    EXPECT_EQ(out["ok"], false) << pattern;
    // The rest of the text is rg's own and changes between its versions.
    EXPECT_TRUE(out["error"].get<std::string>().starts_with("rg: regex parse error:")) << out.dump();
    EXPECT_EQ(state_->turn.fallback_calls, 1);
  }
}

TEST_F(RealRgTest, NoMatchIsNoHits) {
  EXPECT_EQ(search("absent text"), Json::parse(R"({"ok": true, "pattern": "absent text", "hits": []})"));
}

}  // namespace
}  // namespace lumenfold::lodestar
