#include "lumenfold/lodestar/actions/file_records.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;

TEST(FileRecordsTest, ASharedTermStandsWholeAmongTheStoredTerms) {
  const std::vector<std::string> terms = {"login", "handler"};
  struct Case {
    const char* record;
    int64_t shared;
  };
  const Case cases[] = {
      {R"({"query_terms": ["login", "handler", "login"]})", 2},
      {R"({"query_terms": ["logins", "hand", 3, null]})", 0},
      {R"({"query_terms": ["handler"]})", 1},
      {R"({"query_terms": "login handler"})", 0},
      {R"({})", 0},
      {R"(["login"])", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(shared_term_count(Json::parse(c.record), terms), c.shared) << c.record;
}

TEST(FileRecordsTest, OverlapsListEveryRecordInOrderAndReadOthersAsEmpty) {
  const Json graph = Json::parse(R"({"files": {"b.py": {"query_terms": ["login"]}, "a.py": "edited"}})");
  const std::vector<std::string> terms = {"login"};
  std::vector<FileOverlap> overlaps = file_overlaps(graph, terms);
  ASSERT_EQ(overlaps.size(), 2u);
  EXPECT_EQ(overlaps[0].file, "b.py");
  EXPECT_EQ(overlaps[0].overlap, 1);
  EXPECT_EQ(overlaps[1].file, "a.py");
  EXPECT_EQ(overlaps[1].record, Json::object());
  EXPECT_TRUE(file_overlaps(Json::parse(R"({"files": []})"), terms).empty());
}

}  // namespace
}  // namespace lumenfold::lodestar
