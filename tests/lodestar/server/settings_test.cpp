#include "lumenfold/lodestar/server/settings.h"

#include <unistd.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using Env = std::map<std::string, std::string>;

EnvLookup lookup_in(const Env& env) {
  return [env](const char* name) -> std::optional<std::string> {
    auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  };
}

Settings read_ok(const Env& env) {
  common::Result<Settings> s = read_settings(lookup_in(env), "/opt/lodestar/bin", 1700000000);
  EXPECT_TRUE(s.ok()) << (s.ok() ? "" : s.error());
  return s.ok() ? *s : Settings{};
}

TEST(SettingsTest, DefaultsWithAnEmptyEnvironment) {
  Settings s = read_ok({});
  EXPECT_EQ(s.tsl_base, "http://127.0.0.1:8787");
  EXPECT_EQ(s.tsl_api_token, "");
  EXPECT_EQ(s.project_root, fs::path("/app/project"));
  EXPECT_FALSE(s.locked_project_root.has_value());
  EXPECT_EQ(s.data_dir, fs::path("/opt/lodestar/bin/data"));
  EXPECT_EQ(s.hard_max_read_chars, 20000);
  EXPECT_EQ(s.turn_read_budget_chars, 60000);
  EXPECT_TRUE(s.enforce_reuse_gate);
  EXPECT_TRUE(s.enforce_single_retrieve);
  EXPECT_FALSE(s.enforce_read_allowlist);
  EXPECT_EQ(s.fallback_max_calls_per_turn, 1);
  EXPECT_EQ(s.retrieve_cache_ttl_sec, 900);
  EXPECT_EQ(s.memory_first_min_overlap, 3);
  EXPECT_EQ(s.explore_read_budget_chars, 36000);
  EXPECT_EQ(s.explore_max_read_chars, 6000);
  EXPECT_TRUE(s.tsl_local_retrieval);
  EXPECT_EQ(s.session_start_epoch, 1700000000);
}

TEST(SettingsTest, OnlyZeroAndFalseTurnASwitchOff) {
  struct Case {
    std::string text;
    bool on;
  };
  const std::vector<Case> cases = {
      {"0", false},    {"false", false}, {"False", false}, {" 0 ", false}, {"\tfalse\n", false}, {"", true},
      {"FALSE", true}, {"no", true},     {"off", true},    {"1", true},    {"00", true},         {"true", true},
  };
  for (const Case& c : cases) {
    Settings s = read_ok(
        {{"TSL_ENFORCE_READ_ALLOWLIST", c.text}, {"TSL_ENFORCE_REUSE_GATE", c.text}, {"TSL_LOCAL_RETRIEVAL", c.text}});
    EXPECT_EQ(s.enforce_read_allowlist, c.on) << '"' << c.text << '"';
    EXPECT_EQ(s.enforce_reuse_gate, c.on) << '"' << c.text << '"';
    EXPECT_EQ(s.tsl_local_retrieval, c.on) << '"' << c.text << '"';
  }
}

TEST(SettingsTest, IntegersMayHaveBlanksAroundThem) {
  Settings s = read_ok({{"TSL_HARD_MAX_READ_CHARS", "  1234 "},
                        {"TSL_TURN_READ_BUDGET_CHARS", "\t-5\n"},
                        {"TSL_FALLBACK_MAX_CALLS_PER_TURN", "+3"},
                        {"TSL_RETRIEVE_CACHE_TTL_SEC", "0"},
                        {"TSL_MEMORY_FIRST_MIN_OVERLAP", "7"},
                        {"TSL_EXPLORE_READ_BUDGET_CHARS", "100"},
                        {"TSL_EXPLORE_MAX_READ_CHARS", "10"}});
  EXPECT_EQ(s.hard_max_read_chars, 1234);
  EXPECT_EQ(s.turn_read_budget_chars, -5);
  EXPECT_EQ(s.fallback_max_calls_per_turn, 3);
  EXPECT_EQ(s.retrieve_cache_ttl_sec, 0);
  EXPECT_EQ(s.memory_first_min_overlap, 7);
  EXPECT_EQ(s.explore_read_budget_chars, 100);
  EXPECT_EQ(s.explore_max_read_chars, 10);
}

TEST(SettingsTest, ABadIntegerNamesItsVariable) {
  struct Case {
    Env env;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{{"TSL_HARD_MAX_READ_CHARS", "12k"}}, "TSL_HARD_MAX_READ_CHARS must be a decimal integer, got \"12k\""},
      {{{"TSL_RETRIEVE_CACHE_TTL_SEC", ""}}, "TSL_RETRIEVE_CACHE_TTL_SEC must be a decimal integer, got \"\""},
      {{{"TSL_EXPLORE_MAX_READ_CHARS", "1.5"}}, "TSL_EXPLORE_MAX_READ_CHARS must be a decimal integer, got \"1.5\""},
      // Two bad values: the first one read is reported.
      {{{"TSL_TURN_READ_BUDGET_CHARS", "x"}, {"TSL_MEMORY_FIRST_MIN_OVERLAP", "y"}},
       "TSL_TURN_READ_BUDGET_CHARS must be a decimal integer, got \"x\""},
  };
  for (const Case& c : cases) {
    common::Result<Settings> s = read_settings(lookup_in(c.env), "/opt", 0);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error(), c.error);
  }
}

TEST(SettingsTest, PortIsAPortNumberOrAbsent) {
  EXPECT_EQ(read_ok({}).port, std::nullopt);
  EXPECT_EQ(read_ok({{"PORT", "1"}}).port, 1);
  EXPECT_EQ(read_ok({{"PORT", " 9090 "}}).port, 9090);
  EXPECT_EQ(read_ok({{"PORT", "65535"}}).port, 65535);
  for (const char* bad : {"0", "65536", "-1", "", "80a"}) {
    common::Result<Settings> s = read_settings(lookup_in({{"PORT", bad}}), "/opt", 0);
    ASSERT_FALSE(s.ok()) << bad;
    EXPECT_EQ(s.error(), std::string("PORT is not a port number: ") + bad);
  }
  // Checked after every other setting.
  common::Result<Settings> s = read_settings(lookup_in({{"PORT", "x"}, {"TSL_HARD_MAX_READ_CHARS", "y"}}), "/opt", 0);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error(), "TSL_HARD_MAX_READ_CHARS must be a decimal integer, got \"y\"");
}

TEST(SettingsTest, TokenIsTrimmedButBaseIsNot) {
  Settings s = read_ok({{"TSL_API_TOKEN", "  secret \n"}, {"TSL_BASE_URL", " http://h:1/ "}});
  EXPECT_EQ(s.tsl_api_token, "secret");
  EXPECT_EQ(s.tsl_base, " http://h:1/ ");
}

TEST(SettingsTest, OtherMachinesGetInOnlyWithAToken) {
  struct Case {
    Env env;
    bool ok;
  };
  const Case cases[] = {
      {{}, true},
      {{{"TSL_HOST", "127.0.0.1"}}, true},
      {{{"TSL_HOST", "::1"}}, true},
      {{{"TSL_HOST", "localhost"}}, true},
      {{{"TSL_HOST", "0.0.0.0"}}, false},
      {{{"TSL_HOST", "::"}}, false},
      {{{"TSL_HOST", "192.168.1.5"}, {"TSL_AUTH_TOKEN", "  "}}, false},
      {{{"TSL_HOST", " 0.0.0.0 "}, {"TSL_AUTH_TOKEN", " s3cret\n"}}, true},
  };
  for (const Case& c : cases) {
    common::Result<Settings> s = read_settings(lookup_in(c.env), "/opt", 0);
    EXPECT_EQ(s.ok(), c.ok) << (c.env.empty() ? "" : c.env.begin()->second);
  }
  Settings open = read_ok({{"TSL_HOST", " 0.0.0.0 "}, {"TSL_AUTH_TOKEN", " s3cret\n"}});
  EXPECT_EQ(open.listen_host, "0.0.0.0");
  EXPECT_EQ(open.auth_token, "s3cret");
  EXPECT_EQ(read_settings(lookup_in({{"TSL_HOST", "0.0.0.0"}}), "/opt", 0).error(),
            "TSL_HOST=0.0.0.0 lets other machines reach the server: set TSL_AUTH_TOKEN to a secret they must present");
}

TEST(SettingsTest, ProjectRootLocksAndResolvesLinks) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "real" / "proj");
  fs::create_directory_symlink(dir.path() / "real", dir.path() / "link");
  Settings s = read_ok({{"TESSEL_PROJECT_ROOT", (dir.path() / "link" / "proj").string()}});
  EXPECT_EQ(s.project_root, dir.path() / "real" / "proj");
  ASSERT_TRUE(s.locked_project_root.has_value());
  EXPECT_EQ(*s.locked_project_root, dir.path() / "real" / "proj");

  // A root that does not exist yet is resolved as far as it exists.
  Settings missing = read_ok({{"TESSEL_PROJECT_ROOT", (dir.path() / "link" / "later" / "..").string()}});
  EXPECT_EQ(missing.project_root, dir.path() / "real");
}

TEST(SettingsTest, EmptyProjectRootLocksToTheWorkingDirectory) {
  testing::TempDir dir;
  const fs::path before = fs::current_path();
  fs::create_directory(dir.path() / "target");
  fs::create_directory_symlink(dir.path() / "target", dir.path() / "via");
  fs::current_path(dir.path() / "via");
  Settings s = read_ok({{"TESSEL_PROJECT_ROOT", ""}});
  fs::current_path(before);
  EXPECT_EQ(s.project_root, dir.path() / "target");
  ASSERT_TRUE(s.locked_project_root.has_value());
  EXPECT_EQ(*s.locked_project_root, dir.path() / "target");
}

TEST(SettingsTest, DataDirAndDerivedFiles) {
  Settings s = read_ok({{"TSL_DATA_DIR", "/p/.tessel"}});
  EXPECT_EQ(s.log_file(), fs::path("/p/.tessel/mcp_tool_calls.jsonl"));
  EXPECT_EQ(s.action_graph_file(), fs::path("/p/.tessel/chat_action_graph.json"));
  EXPECT_EQ(s.retrieval_cache_file(), fs::path("/p/.tessel/retrieval_cache.json"));
  EXPECT_EQ(s.symbol_index_file(), fs::path("/p/.tessel/symbol_index.json"));
  EXPECT_EQ(s.context_store_file(), fs::path("/p/.tessel/context-store.json"));
  EXPECT_EQ(s.info_graph_file(), fs::path("/p/.tessel/info_graph.json"));
  EXPECT_EQ(read_ok({{"TSL_DATA_DIR", ""}}).info_graph_file(), fs::path("./info_graph.json"));
}

}  // namespace
}  // namespace lumenfold::lodestar
