#include "lumenfold/lodestar/memory/memory_search.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/memory/context_store.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

constexpr int64_t kNow = 1767225600;  // 2026-01-01T00:00:00Z
constexpr int64_t kDay = 86400;
constexpr int64_t kSession = kNow - 3600;

Json memory(std::string_view kind, std::string_view content, int64_t created_epoch) {
  Json entry = {{"kind", std::string(kind)}, {"content", std::string(content)}};
  if (created_epoch != 0) entry["created_epoch"] = created_epoch;
  return entry;
}

MemoryScore score(const Json& entry, const TextSet& qterms, const TextSet& related = {}) {
  return score_memory_entry(entry, qterms, related, static_cast<double>(kNow), kSession);
}

using Reasons = std::vector<std::string>;

// --- score_memory_entry -------------------------------------------------

TEST(ScoreMemoryEntryTest, FreshDecisionOnARetrievedFile) {
  Json decision = memory("decision", "Keep the login cache per tenant", kNow);
  decision["file_path"] = "src/auth.py";
  MemoryScore s = score(decision, {"login", "cache", "tokens"}, {"src/auth.py"});
  EXPECT_EQ(s.score, 22);  // (6 + 4 + 4 + 1) x 1.5 = 22.5, halves to even
  EXPECT_EQ(s.reasons, (Reasons{"2 query term match", "same file as retrieved context", "recency 4.0", "fresh memory",
                                "type_weight\u00D71.5"}));
  EXPECT_EQ(s.overlap, 2);
}

TEST(ScoreMemoryEntryTest, WorkedCases) {
  Json stale_fact = memory("fact", "unrelated", kNow);
  stale_fact["stale"] = true;
  Json marker = memory("stale_marker", "Marked stale because symbol removed", kNow);
  marker["stale"] = true;
  marker["tags"] = {"login", "handler"};
  Json task = memory("task", "migrate the login page", kNow - 7 * kDay);
  Json association = memory("query_association", "Queried during: login", kNow);
  association["evidence"] = {{"session_epoch", kSession - 100}};
  Json this_session = association;
  this_session["evidence"]["session_epoch"] = kSession;

  struct Case {
    const char* name;
    Json entry;
    TextSet qterms;
    int64_t score;
    Reasons reasons;
  };
  const Case cases[] = {
      {"stale fact", stale_fact, {}, -3, {"recency 4.0", "stale penalty", "type_weight\u00D71.3"}},
      {"stale marker alone", marker, {}, -1, {"recency 4.0", "stale penalty", "type_weight\u00D70.5"}},
      {"stale marker matching two terms",
       marker,
       {"login", "handler"},
       2,
       {"2 query term match", "recency 4.0", "stale penalty", "type_weight\u00D70.5"}},
      {"week-old task", task, {"login"}, 6, {"1 query term match", "recency 2.0", "fresh memory"}},
      {"association of an earlier process",
       association,
       {"login"},
       5,
       {"1 query term match", "recency 4.0", "fresh memory", "cross-session penalty", "type_weight\u00D70.8"}},
      {"association of this process",
       this_session,
       {"login"},
       6,
       {"1 query term match", "recency 4.0", "fresh memory", "type_weight\u00D70.8"}},
  };
  for (const Case& c : cases) {
    MemoryScore s = score(c.entry, c.qterms);
    EXPECT_EQ(s.score, c.score) << c.name;
    EXPECT_EQ(s.reasons, c.reasons) << c.name;
  }
}

TEST(ScoreMemoryEntryTest, RecencyHalvesWeeklyAndRoundsHalvesToEven) {
  struct Case {
    double age_days;
    int64_t score;  // recency points + 1 for a fresh memory
    const char* reason;
  };
  const Case cases[] = {
      {-2.0, 5, "recency 4.0"},                                                      // a future time counts as now
      {3.5, 4, "recency 2.8"},  {14.0, 2, "recency 1.0"}, {21.0, 1, "recency 0.5"},  // 0.5 rounds to 0
      {37.0, 1, "recency 0.1"}, {38.0, 1, nullptr},
  };
  for (const Case& c : cases) {
    Json task = memory("task", "x", kNow - static_cast<int64_t>(c.age_days * kDay));
    MemoryScore s = score(task, {});
    EXPECT_EQ(s.score, c.score) << c.age_days;
    Reasons expected = c.reason ? Reasons{c.reason, "fresh memory"} : Reasons{"fresh memory"};
    EXPECT_EQ(s.reasons, expected) << c.age_days;
  }
  EXPECT_EQ(score(memory("task", "x", 0), {}).reasons, Reasons{"fresh memory"});
}

TEST(ScoreMemoryEntryTest, TypeWeightRoundsHalvesToEven) {
  Json on_file = memory("stale_marker", "x", 0);
  on_file["file_path"] = "a.py";
  Json on_symbol = memory("decision", "login", 0);
  on_symbol["symbol_id"] = "a.py::f";
  Json unknown_kind = memory("task", "x", 0);
  unknown_kind["file_path"] = "a.py";
  Json without_kind = {{"content", "x"}, {"file_path", "a.py"}};
  TextSet related = {"a.py", "a.py::f"};
  EXPECT_EQ(score(on_file, {}, related).score, 2);            // 5 x 0.5 = 2.5
  EXPECT_EQ(score(on_symbol, {"login"}, related).score, 14);  // 9 x 1.5 = 13.5
  EXPECT_EQ(score(unknown_kind, {}, related).reasons, (Reasons{"same file as retrieved context", "fresh memory"}));
  EXPECT_EQ(score(without_kind, {}, related).score, 5);
  EXPECT_EQ(memory_type_multiplier(parse_memory_kind("next")), 1.1);
  EXPECT_EQ(memory_type_multiplier(parse_memory_kind("Decision")), 1.0);
}

TEST(ScoreMemoryEntryTest, OverlapSearchesContentTagsAndAnchorsAsSubstrings) {
  Json entry = {{"kind", "task"},
                {"content", "Clear the CACHES"},
                {"tags", {"Tenant", 42}},
                {"symbol_id", "src/Auth.py::Login"},
                {"file_path", "src/Auth.py"}};
  EXPECT_EQ(memory_term_overlap(entry, {"cache", "tenant", "login", "auth", "042", "missing"}), 4);
  EXPECT_EQ(memory_term_overlap(entry, {"42"}), 1);
  MemoryScore s = score(entry, {"login"}, {"src/Auth.py::Login", "src/Auth.py"});
  EXPECT_EQ(s.score, 3 + 5 + 4 + 1);
  EXPECT_EQ(s.reasons,
            (Reasons{"1 query term match", "exact symbol match", "same file as retrieved context", "fresh memory"}));
}

// --- search_context_store -----------------------------------------------

class SearchContextStoreTest : public ::testing::Test {
 protected:
  void write_store(const Json& entries) { dir_.write("context-store.json", entries.dump(2)); }
  std::vector<Json> search(std::string_view query, const std::vector<std::string>& related = {},
                           int64_t limit = kMemorySearchLimit) {
    return search_context_store(scope_, query, related, limit);
  }
  static std::vector<std::string> contents(const std::vector<Json>& items) {
    std::vector<std::string> out;
    for (const Json& item : items) out.push_back(item["content"]);
    return out;
  }

  TempDir dir_;
  ContextStore store_{dir_.path() / "context-store.json"};
  Json index_ = Json::parse(R"({"src/a.py::f": {"path": "src/a.py", "body_hash": "new"}})");
  SymbolLookup symbols_ = lookup_in_json(index_);
  MemoryScope scope_{store_, symbols_, static_cast<double>(kNow), kSession};
};

TEST_F(SearchContextStoreTest, EmptyStoreFindsNothingAndWritesNothing) {
  EXPECT_TRUE(search("login").empty());
  EXPECT_FALSE(fs::exists(store_.file()));
}

TEST_F(SearchContextStoreTest, ItemIsTheEntryWithWeakMatchThenWhy) {
  Json association = memory("query_association", "Queried during: login", kNow);
  association["id"] = "mem:1";
  association["file_path"] = "src/a.py";
  association["evidence"] = {{"source", "graph_read"}, {"session_epoch", kSession - 1}};
  write_store(Json::array({association}));
  std::vector<Json> items = search("login page");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].dump(),
            R"({"id":"mem:1","kind":"query_association","content":"Queried during: login","tags":[],)"
            R"("files":["src/a.py"],"file_path":"src/a.py","symbol_id":"","symbol_hash":"",)"
            R"("created_at":"2026-01-01T00:00:00+00:00","created_epoch":1767225600,)"
            R"("updated_at":"2026-01-01T00:00:00+00:00","stale":false,"stale_reason":"","observed_queries":[],)"
            R"("evidence":{"source":"graph_read","session_epoch":1767221999},"weak_match":true,)"
            R"("weak_match_reason":"auto-generated, only 1 term overlap",)"
            R"("why":"1 query term match, recency 4.0, fresh memory"})");
}

TEST_F(SearchContextStoreTest, StrongAssociationsAndOtherKindsAreNotWeak) {
  Json two_terms = memory("query_association", "Queried during: login page", kNow);  // 11 x 0.8 -> 9
  Json related = memory("query_association", "Queried during: login", kNow);         // 12 x 0.8 -> 10
  related["file_path"] = "src/a.py";
  Json fact = memory("fact", "login uses cookies", kNow);  // 8 x 1.3 -> 10
  write_store(Json::array({two_terms, related, fact}));
  std::vector<Json> items = search("login page", {"src/a.py"});
  for (const Json& item : items) EXPECT_FALSE(item.contains("weak_match")) << item["content"];
  EXPECT_EQ(contents(items),
            (std::vector<std::string>{"Queried during: login", "login uses cookies", "Queried during: login page"}));
}

TEST_F(SearchContextStoreTest, OrdersByScoreThenFreshnessThenAgeKeepingStoreOrderOnTies) {
  Json a = memory("task", "login A stale", kNow - 7 * kDay);  // 9 + 2 - 6 = 5
  a["stale"] = true;
  a["tags"] = {"login", "page", "flow"};
  Json b = memory("task", "login B", kNow - 14 * kDay);  // 6 + 1 + 1 = 8
  b["tags"] = {"page"};
  Json c = memory("task", "login C", kNow - 7 * kDay);  // 3 + 2 + 1 = 6
  Json d = memory("task", "login D", kNow - 7 * kDay);  // 6, created with C
  Json e = memory("task", "login E", 1);                // 3 + 1 = 4
  Json f = memory("task", "login F", 1);                // 4, created with E
  Json g = memory("task", "login G", 2);                // 4, newer than E and F
  write_store(Json::array({a, b, c, d, e, f, g}));
  EXPECT_EQ(
      contents(search("login page flow", {}, 10)),
      (std::vector<std::string>{"login B", "login C", "login D", "login A stale", "login G", "login E", "login F"}));
}

TEST_F(SearchContextStoreTest, EqualScoresPutFreshBeforeStaleThenNewest) {
  Json stale_new = memory("task", "stale new", kNow - 7 * kDay);  // 9 + 2 - 6 = 5
  stale_new["stale"] = true;
  stale_new["tags"] = {"alpha", "beta", "gamma"};
  Json fresh_old = memory("task", "fresh old", kNow - 14 * kDay);  // 3 + 1 + 1 = 5
  fresh_old["tags"] = {"alpha"};
  Json fresh_newer = memory("task", "fresh newer", kNow - 14 * kDay + 1);  // 5
  fresh_newer["tags"] = {"alpha"};
  write_store(Json::array({stale_new, fresh_old, fresh_newer}));
  EXPECT_EQ(contents(search("alpha beta gamma", {}, 5)),
            (std::vector<std::string>{"fresh newer", "fresh old", "stale new"}));
}

TEST_F(SearchContextStoreTest, ReconcilesBeforeScoring) {
  Json anchored = memory("fact", "login flow keeps a cache", kNow);
  anchored["symbol_id"] = "src/a.py::f";
  anchored["symbol_hash"] = "old";
  write_store(Json::array({anchored}));
  std::vector<Json> items = search("login flow cache");
  // (9 + 4 - 6) x 1.3 = 9.1 -> 9
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]["stale"], true);
  EXPECT_EQ(items[0]["stale_reason"], "symbol body changed");
  EXPECT_EQ(items[0]["why"], "3 query term match, recency 4.0, stale penalty");
  std::vector<std::string> kinds;
  for (const Json& entry : store_.load(symbols_, static_cast<double>(kNow))) kinds.push_back(entry["kind"]);
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(kinds, (std::vector<std::string>{"fact", "stale_marker"}));
}

TEST_F(SearchContextStoreTest, RelatedFileSurfacesAMemoryForAnyQueryAndLimitCaps) {
  Json on_file = memory("task", "refactor pending", kNow);
  on_file["file_path"] = "src/a.py";
  Json unrelated = memory("task", "nothing shared", kNow);  // recency and freshness alone
  Json below = memory("fact", "stale and unrelated", kNow);
  below["stale"] = true;
  write_store(Json::array({on_file, unrelated, below}));
  EXPECT_EQ(contents(search("zebra", {"src/a.py"})), (std::vector<std::string>{"refactor pending", "nothing shared"}));
  EXPECT_EQ(contents(search("zebra", {"src/a.py"}, 1)), (std::vector<std::string>{"refactor pending"}));
  EXPECT_TRUE(search("zebra", {"src/a.py"}, 0).empty());
  EXPECT_TRUE(search("zebra", {"src/a.py"}, -2).empty());
}

}  // namespace
}  // namespace lumenfold::lodestar
