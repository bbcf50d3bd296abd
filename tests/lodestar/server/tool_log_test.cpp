#include "lumenfold/lodestar/server/tool_log.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

// 2026-01-31T09:15:02 UTC, as a clock would give it.
constexpr double kNow = 1769850902.0;

TEST(LogToolTest, AppendsOneEscapedLinePerCall) {
  testing::TempDir dir;
  const std::filesystem::path log = dir.path() / "nested" / "data" / "mcp_tool_calls.jsonl";
  common::Json first = common::Json::object();
  first["query"] = "caf\xC3\xA9 \xF0\x9F\x98\x80";
  first["n"] = 2;
  log_tool(log, kNow, "graph_retrieve", first);
  log_tool(log, kNow + 0.5, "graph_read", common::Json::object());

  const std::string text = dir.read("nested/data/mcp_tool_calls.jsonl");
  EXPECT_EQ(
      text,
      R"({"timestamp": "2026-01-31T09:15:02+00:00", "tool": "graph_retrieve", "payload": {"query": "caf\u00e9 \ud83d\ude00", "n": 2}}
{"timestamp": "2026-01-31T09:15:02.500000+00:00", "tool": "graph_read", "payload": {}}
)");
}

TEST(LogToolTest, ThrowsWhenTheDirectoryCannotBeMade) {
  testing::TempDir dir;
  dir.write("blocker", "a file, not a directory");
  EXPECT_THROW(log_tool(dir.path() / "blocker" / "log.jsonl", kNow, "graph_read", common::Json::object()),
               std::runtime_error);
}

}  // namespace
}  // namespace lumenfold::lodestar
