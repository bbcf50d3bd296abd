#include "lumenfold/lodestar/graph/text_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/regex.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using Terms = std::vector<std::string>;

TEST(QueryTermsTest, FollowsTheWordRules) {
  struct Case {
    std::string query;
    Terms terms;
  };
  const std::vector<Case> cases = {
      {"Please fix the login_handler in auth.py", {"login_handler", "auth"}},
      {"please fix the in on it", {}},
      {"a b cd ?? !!", {}},
      {"", {}},
      {"cache Cache CACHE", {"cache"}},
      {"one1 two2 three four five six seven eight nine ten",
       {"one1", "two2", "three", "four", "five", "six", "seven", "eight"}},
      {"na\xC3\xAFve", {}},                       // the non-ASCII letter splits the word
      {"\xC3\x89tude caf\xC3\xA9s", {"tude", "caf"}},  // lower-cased, then split at non-ASCII
      {"Parse_JSON-file 123 x_y", {"parse_json", "file", "123", "x_y"}},
      {"update the README for use", {"readme"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(query_terms(c.query), c.terms) << c.query;
  }
}

TEST(QueryKeyTest, JoinsTermsInOrderOfAppearance) {
  EXPECT_EQ(query_key("Please fix the login_handler in auth.py"), "login_handler auth");
  EXPECT_EQ(query_key("auth then login"), "auth then login");
  EXPECT_EQ(query_key("login auth"), "login auth");  // not sorted
  EXPECT_EQ(query_key("the fix"), "");
}

// Lines "line 0" .. "line <n-1>", with `marker` appended to the hit lines.
std::string numbered_lines(int n, const std::vector<int>& hits) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    text += "line " + std::to_string(i);
    for (int h : hits) {
      if (h == i) text += " Needle";
    }
    text += "\n";
  }
  return text;
}

std::string lines_between(int first, int last, const std::vector<int>& hits) {
  std::string all = numbered_lines(last + 1, hits);
  std::string out;
  size_t pos = 0;
  for (int i = 0; i <= last; ++i) {
    size_t eol = all.find('\n', pos);
    if (i >= first) {
      if (!out.empty()) out += "\n";
      out += all.substr(pos, eol - pos);
    }
    pos = eol + 1;
  }
  return out;
}

TEST(ExcerptByTermsTest, FallsBackToTheHeadOfTheText) {
  const std::string text = "first line\nsecond line\nthird";
  EXPECT_EQ(excerpt_by_terms(text, {}, 8), "first li");
  EXPECT_EQ(excerpt_by_terms(text, {"absent"}, 12), "first line\ns");
  EXPECT_EQ(excerpt_by_terms("no breaks at all", {"zzz"}, 5), "no br");
  EXPECT_EQ(excerpt_by_terms("", {"zzz"}, 5), "");
  // Cut in code points, never inside a character.
  EXPECT_EQ(excerpt_by_terms("\xC3\xA9t\xC3\xA9 caf\xC3\xA9", {}, 3), "\xC3\xA9t\xC3\xA9");
}

TEST(ExcerptByTermsTest, OneHitGivesTwelveLinesAroundIt) {
  const std::string text = numbered_lines(100, {5});
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 100000), lines_between(0, 17, {5}));
}

TEST(ExcerptByTermsTest, HitsSharingAWindowStartGiveOneChunk) {
  const std::string text = numbered_lines(100, {5, 6});
  // The window of line 6 also starts at 0, so only the first window is kept.
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 100000), lines_between(0, 17, {5, 6}));
}

TEST(ExcerptByTermsTest, OverlappingWindowsAreSeparated) {
  const std::string text = numbered_lines(100, {30, 31});
  const std::string expected = lines_between(18, 42, {30, 31}) +
                               "\n\n/* --- excerpt --- */\n\n" +
                               lines_between(19, 43, {30, 31});
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 100000), expected);
}

TEST(ExcerptByTermsTest, StopsOnceTheChunksReachTheLimit) {
  const std::string text = numbered_lines(100, {30, 60});
  // The first chunk alone reaches the limit, so the hit on line 60 is
  // never looked at and the result is the first chunk cut to the limit.
  const std::string first = lines_between(18, 42, {30, 60});
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 20), first.substr(0, 20));
  const std::string both = first + "\n\n/* --- excerpt --- */\n\n" + lines_between(48, 72, {30, 60});
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 100000), both);
}

TEST(ExcerptByTermsTest, SplitsAtEveryLineBoundary) {
  // Form feed and U+2028 end lines too; the window is the whole text.
  const std::string text = "alpha\fbeta needle\xE2\x80\xA8gamma\r\ndelta";
  EXPECT_EQ(excerpt_by_terms(text, {"needle"}, 1000), "alpha\nbeta needle\ngamma\ndelta");
}

TEST(EstTokensTest, CountsFourCharactersPerToken) {
  EXPECT_EQ(est_tokens(""), 0);
  EXPECT_EQ(est_tokens("a"), 1);
  EXPECT_EQ(est_tokens("abcd"), 1);
  EXPECT_EQ(est_tokens("abcdefg"), 1);
  EXPECT_EQ(est_tokens("abcdefgh"), 2);
  EXPECT_EQ(est_tokens("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"), 2);
}

TEST(IsLocalFileRefTest, AcceptsOnlyProjectFilePaths) {
  struct Case {
    std::string value;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"src/app/main.py", true},
      {"src/app/main.py::handler", true},
      {"src/app/main.py::Outer::inner", true},
      {"main.py", false},
      {"@scope/pkg.js", false},
      {"C:/work/x.js", false},
      {"src/app", false},
      {"lib/Makefile", false},
      {"", false},
      {"src/.env", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_local_file_ref(c.value), c.expected) << c.value;
  }
}

TEST(IsoTimeTest, WritesMicrosecondsOnlyWhenNotZero) {
  EXPECT_EQ(iso_time(1769850902.0), "2026-01-31T09:15:02+00:00");
  EXPECT_EQ(iso_time(1769850902.123456), "2026-01-31T09:15:02.123456+00:00");
  EXPECT_EQ(iso_time(0.000001), "1970-01-01T00:00:00.000001+00:00");
  EXPECT_EQ(iso_time(-0.5), "1969-12-31T23:59:59.500000+00:00");
}

TEST(IsoTimeTest, NowHasTheTimestampForm) {
  const common::Regex form(R"([0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]{6})?\+00:00)");
  const std::string now = now_iso();
  EXPECT_TRUE(form.full_match(now)) << now;
}

TEST(LogToolTest, AppendsOneEscapedLinePerCall) {
  testing::TempDir dir;
  const std::filesystem::path log = dir.path() / "nested" / "data" / "mcp_tool_calls.jsonl";
  common::Json first = common::Json::object();
  first["query"] = "caf\xC3\xA9 \xF0\x9F\x98\x80";
  first["n"] = 2;
  log_tool(log, "graph_retrieve", first);
  log_tool(log, "graph_read", common::Json::object());

  const std::string text = dir.read("nested/data/mcp_tool_calls.jsonl");
  const common::Regex form(
      R"(\{"timestamp": "[0-9T:.+-]+", "tool": "graph_retrieve", "payload": \{"query": "caf\\u00e9 \\ud83d\\ude00", "n": 2\}\}
\{"timestamp": "[0-9T:.+-]+", "tool": "graph_read", "payload": \{\}\}
)");
  EXPECT_TRUE(form.full_match(text)) << text;
}

TEST(LogToolTest, ThrowsWhenTheDirectoryCannotBeMade) {
  testing::TempDir dir;
  dir.write("blocker", "a file, not a directory");
  EXPECT_THROW(log_tool(dir.path() / "blocker" / "log.jsonl", "graph_read", common::Json::object()),
               std::runtime_error);
}

}  // namespace
}  // namespace lumenfold::lodestar
