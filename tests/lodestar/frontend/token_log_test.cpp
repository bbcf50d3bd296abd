#include "lumenfold/lodestar/frontend/token_log.h"

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using lumenfold::testing::TempDir;

constexpr double kNow = 1769850902.0;  // 2026-01-31T09:15:02+00:00

TEST(TokenLogTest, PricesTheWorkedExamples) {
  EXPECT_DOUBLE_EQ(token_cost_usd("claude-opus-4", 1000, 200, 5000, 20000), 0.15375);
  EXPECT_DOUBLE_EQ(token_cost_usd("claude-sonnet-4", 1000, 200, 5000, 20000), 0.03075);
  EXPECT_DOUBLE_EQ(token_cost_usd("Claude-OPUS", 1000000, 0, 0, 0), 15.0);
  EXPECT_DOUBLE_EQ(token_cost_usd("x", 1, 0, 0, 0), 0.000003);
  EXPECT_DOUBLE_EQ(token_cost_usd("x", 1, 1, 0, 0), 0.000018);
}

TEST(TokenLogTest, AppendsOneRecordPerCall) {
  TempDir dir;
  auto log = dir.path() / "token_log.jsonl";
  RouteAnswer a = log_token_usage(
      R"({"model": "claude-opus", "input_tokens": 1000, "output_tokens": 200, "cache_creation_input_tokens": 5000,
          "cache_read_input_tokens": "20000", "project": "p\u00e9", "description": 7, "extra": true})",
      log, kNow);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.content_type, "application/json");
  EXPECT_EQ(a.body, "{\"ok\":true,\"cost_usd\":0.15375}");
  EXPECT_EQ(log_token_usage("{}", log, kNow).body, "{\"ok\":true,\"cost_usd\":0.0}");
  EXPECT_EQ(
      dir.read("token_log.jsonl"),
      "{\"timestamp\": \"2026-01-31T09:15:02+00:00\", \"model\": \"claude-opus\", \"input_tokens\": 1000, "
      "\"output_tokens\": 200, \"cache_creation_input_tokens\": 5000, \"cache_read_input_tokens\": 20000, "
      "\"total_tokens\": 26200, \"cost_usd\": 0.15375, \"project\": \"p\\u00e9\", \"description\": \"7\", "
      "\"mode\": \"session\"}\n"
      "{\"timestamp\": \"2026-01-31T09:15:02+00:00\", \"model\": \"unknown\", \"input_tokens\": 0, "
      "\"output_tokens\": 0, \"cache_creation_input_tokens\": 0, \"cache_read_input_tokens\": 0, "
      "\"total_tokens\": 0, \"cost_usd\": 0.0, \"project\": \"\", \"description\": \"\", \"mode\": \"session\"}\n");
}

TEST(TokenLogTest, BadInputAnswers400AndLogsNothing) {
  TempDir dir;
  auto log = dir.path() / "token_log.jsonl";
  const char* bodies[] = {
      R"({"input_tokens": "twelve"})",
      R"({"output_tokens": null})",
      "[1, 2]",
      "not json",
      "",
      R"({"input_tokens": -1})",
      R"({"input_tokens": "-5"})",
      R"({"output_tokens": true})",
      R"({"output_tokens": false})",
      R"({"cache_read_input_tokens": 3.5})",
      R"({"cache_read_input_tokens": "3.5"})",
      R"({"cache_read_input_tokens": 2.0})",
      R"({"input_tokens": [1]})",
      R"({"input_tokens": 1000000000001})",
      R"({"input_tokens": "1000000000001"})",
      R"({"input_tokens": 18446744073709551615})",
      R"({"input_tokens": 9223372036854775807, "output_tokens": 9223372036854775807,
          "cache_read_input_tokens": 9223372036854775807})",
  };
  for (const char* body : bodies) {
    RouteAnswer a = log_token_usage(body, log, kNow);
    EXPECT_EQ(a.status, 400) << body;
    EXPECT_EQ(a.body, "{\"ok\":false}") << body;
  }
  EXPECT_FALSE(std::filesystem::exists(log));
  // A log that cannot be written is a 400 too.
  EXPECT_EQ(log_token_usage("{}", dir.path() / "missing" / "log.jsonl", kNow).status, 400);
}

TEST(TokenLogTest, CountsUpToTheBoundAreTaken) {
  TempDir dir;
  auto log = dir.path() / "token_log.jsonl";
  RouteAnswer a = log_token_usage(
      R"({"input_tokens": 1000000000000, "output_tokens": "1000000000000", "cache_creation_input_tokens": " 0 ",
          "cache_read_input_tokens": 1000000000000})",
      log, kNow);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body, "{\"ok\":true,\"cost_usd\":18300000.0}");
  EXPECT_NE(dir.read("token_log.jsonl").find("\"total_tokens\": 3000000000000,"), std::string::npos);
}

}  // namespace
}  // namespace lumenfold::lodestar
