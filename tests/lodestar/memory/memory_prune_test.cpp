#include "lumenfold/lodestar/memory/memory_prune.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;

constexpr int64_t kNow = 1767225600;
constexpr int64_t kDay = 86400;

Json entry(const std::string& id, const std::string& kind, int64_t created_epoch, const std::string& file = "") {
  return Json{{"id", id}, {"kind", kind}, {"file_path", file}, {"symbol_id", ""}, {"created_epoch", created_epoch}};
}

std::string ids(const std::vector<Json>& entries) {
  std::string out;
  for (const Json& e : entries) out += (out.empty() ? "" : ",") + e["id"].get<std::string>();
  return out;
}

TEST(PruneContextEntriesTest, SevenFactsWithoutAnchorsKeepTheSixNewest) {
  std::vector<Json> entries;
  for (int i = 0; i < 7; ++i) entries.push_back(entry("f" + std::to_string(i), "fact", kNow - 100 + i));
  EXPECT_EQ(ids(prune_context_entries(entries, kNow)), "f1,f2,f3,f4,f5,f6");
}

TEST(PruneContextEntriesTest, KeepsThe200NewestOldestFirst) {
  std::vector<Json> entries;
  // Input in scrambled time order: the result is ordered by time.
  for (int i = 0; i < 250; ++i) {
    int t = (i * 7) % 250;
    entries.push_back(entry("e" + std::to_string(t), "fact", kNow - 1000 + t, "f" + std::to_string(t)));
  }
  std::vector<Json> kept = prune_context_entries(entries, kNow);
  ASSERT_EQ(kept.size(), 200u);
  EXPECT_EQ(kept.front()["id"], "e50");
  EXPECT_EQ(kept.back()["id"], "e249");
  for (size_t i = 1; i < kept.size(); ++i) {
    EXPECT_LT(kept[i - 1]["created_epoch"].get<int64_t>(), kept[i]["created_epoch"].get<int64_t>());
  }
}

struct CapCase {
  const char* kind;
  int cap;
};

TEST(PruneContextEntriesTest, EachGroupKeepsItsKindsCap) {
  const CapCase cases[] = {{"query_association", 4},
                           {"decision", 3},
                           {"edit_observation", 2},
                           {"interaction_pattern", 1},
                           {"stale_marker", 1},
                           {"task", 6},
                           {"", 6}};
  for (const CapCase& c : cases) {
    std::vector<Json> entries;
    for (int i = 0; i < 8; ++i) entries.push_back(entry(std::to_string(i), c.kind, kNow - 10 + i, "a.py"));
    // Another file is another group.
    entries.push_back(entry("other", c.kind, kNow - 100, "b.py"));
    std::vector<Json> kept = prune_context_entries(entries, kNow);
    ASSERT_EQ(kept.size(), static_cast<size_t>(c.cap) + 1) << c.kind;
    EXPECT_EQ(kept.front()["id"], "other") << c.kind;
    EXPECT_EQ(kept.back()["id"], "7") << c.kind;
  }
}

TEST(PruneContextEntriesTest, HabitsExpireAfterFourteenDays) {
  std::vector<Json> entries = {
      entry("qa-15d", "query_association", kNow - 15 * kDay, "a"),
      entry("qa-14d", "query_association", kNow - 14 * kDay, "b"),
      entry("ip-14d+1", "interaction_pattern", kNow - 14 * kDay - 1, "c"),
      entry("fact-99d", "fact", kNow - 99 * kDay),
      Json{{"id", "ip-untimed"}, {"kind", "interaction_pattern"}},
      Json{{"id", "qa-garbled"}, {"kind", "query_association"}, {"created_epoch", "soon"}},
  };
  EXPECT_EQ(ids(prune_context_entries(entries, kNow)), "fact-99d,qa-14d");
}

TEST(PruneContextEntriesTest, HabitFromTheStartOfTheIntegerRangeExpiresWithoutOverflow) {
  std::vector<Json> entries = {entry("qa-min", "query_association", INT64_MIN, "a"),
                               entry("qa-max", "query_association", INT64_MAX, "b")};
  EXPECT_EQ(ids(prune_context_entries(entries, kNow)), "qa-max");
}

TEST(PruneContextEntriesTest, EqualTimesComeOutInReverseInputOrder) {
  std::vector<Json> entries = {entry("a", "fact", kNow, "1"), entry("b", "fact", kNow, "2"),
                               entry("c", "fact", kNow - 5, "3"), entry("d", "fact", kNow, "4")};
  EXPECT_EQ(ids(prune_context_entries(entries, kNow)), "c,d,b,a");
}

TEST(PruneContextEntriesTest, GroupsReadMissingMembersAsEmptyText) {
  std::vector<Json> entries;
  for (int i = 0; i < 5; ++i) entries.push_back(Json{{"id", std::to_string(i)}, {"kind", "decision"}});
  entries.push_back(Json{{"id", "list-kind"}, {"kind", Json::array()}, {"created_epoch", 1}});
  EXPECT_EQ(ids(prune_context_entries(entries, kNow)), "2,1,0,list-kind");
}

}  // namespace
}  // namespace lumenfold::lodestar
