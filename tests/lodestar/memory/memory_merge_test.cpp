#include "lumenfold/lodestar/memory/memory_merge.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/memory/memory_identity.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

constexpr double kNow = 1767225600.0;

TEST(MergeUniqueStringsTest, TrimsDropsBlanksAndDuplicatesUpToTheLimit) {
  Json values = Json::parse(R"([" a ", "a", null, false, 0, "", [], "b", 3, 3.5, true, ["x"], "c", "d"])");
  EXPECT_EQ(merge_unique_strings(values).dump(), R"(["a","b","3","3.5","True","['x']"])");
  EXPECT_EQ(merge_unique_strings(values, 2).dump(), R"(["a","b"])");
  EXPECT_EQ(merge_unique_strings(values, 0).dump(), "[]");
  EXPECT_EQ(merge_unique_strings(Json("a, b")).dump(), "[]");
}

TEST(MergeMemoryEntriesTest, EvidenceMergesByIncomingType) {
  Json existing = Json::parse(R"({"evidence": {"reads": 3, "seen": false, "paths": ["a"], "keep": "old"}})");
  Json incoming = Json::parse(R"({"evidence": {"reads": 2, "seen": true, "paths": ["b", "a"], "note": ""}})");
  EXPECT_EQ(merge_memory_entries(existing, incoming, kNow)["evidence"].dump(),
            R"({"reads":3,"seen":true,"paths":["a","b"],"keep":"old"})");
}

TEST(MergeMemoryEntriesTest, EvidenceEdgeCases) {
  Json existing = Json::parse(R"({"evidence": {"n": "4", "flag": 1, "list": "text", "v": 1, "gone": 2,
                                               "obj": {"a": 1}}})");
  Json incoming = Json::parse(R"({"evidence": {"n": 5, "flag": false, "list": ["x", "x", "y"], "v": 2.5,
                                               "gone": null, "obj": {}, "fresh": [], "big": 7}})");
  EXPECT_EQ(merge_memory_entries(existing, incoming, kNow)["evidence"].dump(),
            R"({"n":5,"flag":true,"list":["x","y"],"v":2.5,"gone":2,"obj":{},"fresh":[],"big":7})");
  // Hostile evidence on either side is read as empty.
  EXPECT_EQ(
      merge_memory_entries(Json::parse(R"({"evidence": [1]})"), Json::parse(R"({"evidence": "x"})"), kNow)["evidence"]
          .dump(),
      "{}");
}

TEST(MergeMemoryEntriesTest, KeepsIdentityAndContentOfTheExistingEntry) {
  Json existing = Json::parse(R"({"id": "mem:1", "kind": "edit_observation", "content": "first",
      "tags": ["t1"], "files": ["a.py"], "file_path": "a.py", "symbol_id": "", "symbol_hash": "",
      "created_at": "c1", "created_epoch": 1, "updated_at": "u1", "stale": true, "stale_reason": "symbol removed",
      "observed_queries": ["q1"], "evidence": {}})");
  Json incoming = Json::parse(R"({"id": "mem:2", "kind": "edit_observation", "content": "second",
      "tags": ["t2", "t1"], "files": ["b.py"], "file_path": "b.py", "symbol_id": "b.py::f", "symbol_hash": "h",
      "created_at": "c2", "created_epoch": 2, "updated_at": "u2", "stale": false, "stale_reason": "",
      "observed_queries": ["q2"], "evidence": {"n": 1}})");
  EXPECT_EQ(merge_memory_entries(existing, incoming, kNow).dump(),
            R"({"id":"mem:1","kind":"edit_observation","content":"first","tags":["t1","t2"],"files":["a.py","b.py"],)"
            R"("file_path":"a.py","symbol_id":"","symbol_hash":"","created_at":"c1","created_epoch":1,)"
            R"("updated_at":"u2","stale":true,"stale_reason":"symbol removed","observed_queries":["q1","q2"],)"
            R"("evidence":{"n":1}})");
}

TEST(MergeMemoryEntriesTest, MissingFieldsUseTheClockAndEmptyLists) {
  Json merged = merge_memory_entries(Json::parse(R"({"id": "m", "tags": "x"})"),
                                     Json::parse(R"({"stale_reason": "moved", "files": ["f"]})"), kNow);
  EXPECT_EQ(merged.dump(), R"({"id":"m","tags":[],"updated_at":"2026-01-01T00:00:00+00:00","stale":false,)"
                           R"("stale_reason":"moved","files":["f"],"observed_queries":[],"evidence":{}})");
}

TEST(MergeMemoryEntriesTest, ListsAreCappedAtTheirLimits) {
  Json existing = Json::object();
  Json incoming = Json::object();
  for (int i = 0; i < 12; ++i) {
    incoming["tags"].push_back("t" + std::to_string(i));
    incoming["observed_queries"].push_back("q" + std::to_string(i));
    incoming["evidence"]["seen"].push_back("s" + std::to_string(i));
  }
  Json merged = merge_memory_entries(existing, incoming, kNow);
  EXPECT_EQ(merged["tags"].size(), 10u);
  EXPECT_EQ(merged["observed_queries"].size(), 6u);
  EXPECT_EQ(merged["evidence"]["seen"].size(), 8u);
  EXPECT_EQ(merged["tags"][9], "t9");
}

struct IdentityCase {
  const char* entry;
  MemoryIdentity identity;
};

TEST(MemoryIdentityTest, DiscriminatorDependsOnTheKind) {
  const IdentityCase cases[] = {
      {R"({"kind": "fact", "symbol_id": "a::f", "file_path": "a", "content": "Use X ", "stale_reason": "r"})",
       {"fact", "a::f", "a", "Use X "}},
      {R"({"kind": "edit_observation", "file_path": "a", "content": "c"})", {"edit_observation", "", "a", ""}},
      {R"({"kind": "interaction_pattern", "content": "c"})", {"interaction_pattern", "", "", ""}},
      {R"({"kind": "stale_marker", "content": "c", "stale_reason": "symbol removed"})",
       {"stale_marker", "", "", "symbol removed"}},
      {R"({"content": "c", "symbol_id": null})", {"", "None", "", "c"}},
      {R"([1])", {"", "", "", ""}},
  };
  for (const IdentityCase& c : cases) {
    EXPECT_EQ(memory_identity(Json::parse(c.entry)), c.identity) << c.entry;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
