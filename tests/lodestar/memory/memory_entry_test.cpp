#include "lumenfold/lodestar/memory/memory_entry.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/memory/memory_identity.h"
#include "lumenfold/lodestar/memory/memory_merge.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

constexpr double kNow = 1767225600.5;  // 2026-01-01T00:00:00.5Z
constexpr const char* kNowIso = "2026-01-01T00:00:00.500000+00:00";

class MemoryEntryTest : public ::testing::Test {
 protected:
  Json index_ = Json::parse(R"({
      "src/a.py::load": {"line_start": 1, "line_end": 9, "body_hash": "abcd1234", "confidence": "high",
                         "path": "src/a_real.py"},
      "src/c.py::bare": {"line_start": 0, "line_end": 0, "body_hash": "", "confidence": "low"},
      "src/d.py::odd": 17})");
  SymbolLookup symbols_ = lookup_in_json(index_);

  Json normalize(const char* text) {
    std::optional<Json> out = normalize_memory_entry(Json::parse(text), symbols_, kNow);
    EXPECT_TRUE(out.has_value()) << text;
    return out.value_or(Json());
  }
};

TEST_F(MemoryEntryTest, SummaryAloneMakesAFullFact) {
  EXPECT_EQ(normalize(R"({"summary": "  use the cache  "})").dump(),
            std::string(R"({"id":"mem:1767225600500","kind":"fact","content":"use the cache","tags":[],"files":[],)") +
                R"("file_path":"","symbol_id":"","symbol_hash":"","created_at":")" + kNowIso +
                R"(","created_epoch":1767225600,"updated_at":")" + kNowIso +
                R"(","stale":false,"stale_reason":"","observed_queries":[],"evidence":{}})");
}

TEST_F(MemoryEntryTest, NonMemoriesAreRejected) {
  const char* texts[] = {R"([{"content": "x"}])",
                         R"("content")",
                         "null",
                         R"({})",
                         R"({"content": "   "})",
                         R"({"content": "", "summary": ""})",
                         R"({"content": null, "summary": false})",
                         R"({"kind": "fact", "tags": ["x"]})"};
  for (const char* text : texts) {
    EXPECT_FALSE(normalize_memory_entry(Json::parse(text), symbols_, kNow).has_value()) << text;
  }
}

TEST_F(MemoryEntryTest, FirstFileThatIsAKnownSymbolAnchorsTheEntry) {
  Json e = normalize(R"({"content": "x", "files": ["src/a.py::load", "src/b.py"]})");
  EXPECT_EQ(e["symbol_id"], "src/a.py::load");
  EXPECT_EQ(e["file_path"], "src/a_real.py");
  EXPECT_EQ(e["symbol_hash"], "abcd1234");
  EXPECT_EQ(e["files"].dump(), R"(["src/a.py::load","src/b.py"])");
}

struct AnchorCase {
  const char* input;
  const char* files;
  const char* file_path;
  const char* symbol_id;
  const char* symbol_hash;
};

TEST_F(MemoryEntryTest, AnchorsAreCompletedFromFilesAndTheIndex) {
  const AnchorCase cases[] = {
      {R"({"content": "x", "files": ["src/b.py"]})", R"(["src/b.py"])", "src/b.py", "", ""},
      {R"({"content": "x", "file_path": "src/b.py"})", R"(["src/b.py"])", "src/b.py", "", ""},
      {R"({"content": "x", "symbol_id": "gone.py::f"})", R"(["gone.py::f"])", "gone.py", "gone.py::f", ""},
      {R"({"content": "x", "files": "src/b.py", "symbol_id": "src/a.py::load"})", R"(["src/a.py::load"])",
       "src/a_real.py", "src/a.py::load", "abcd1234"},
      {R"({"content": "x", "files": "src/b.py"})", "[]", "", "", ""},
      {R"({"content": "x", "files": "src/b.py", "file_path": " src/e.py "})", R"(["src/e.py"])", "src/e.py", "", ""},
      // A record without a path falls back to the id's file part.
      {R"({"content": "x", "files": ["src/c.py::bare"]})", R"(["src/c.py::bare"])", "src/c.py", "src/c.py::bare", ""},
      // A damaged index record counts as an unknown symbol.
      {R"({"content": "x", "symbol_id": "src/d.py::odd"})", R"(["src/d.py::odd"])", "src/d.py", "src/d.py::odd", ""},
      // Given anchor members win over the index; blank files are dropped, others kept untrimmed.
      {R"({"content": "x", "files": ["  ", 3, " src/a.py::load"], "symbol_hash": "given"})", R"([" src/a.py::load"])",
       " src/a.py", " src/a.py::load", "given"},
      {R"({"content": "x", "symbol_id": "src/a.py::load", "file_path": "mine.py"})", R"(["src/a.py::load"])", "mine.py",
       "src/a.py::load", "abcd1234"},
  };
  for (const AnchorCase& c : cases) {
    Json e = normalize(c.input);
    EXPECT_EQ(e["files"].dump(), c.files) << c.input;
    EXPECT_EQ(e["file_path"], c.file_path) << c.input;
    EXPECT_EQ(e["symbol_id"], c.symbol_id) << c.input;
    EXPECT_EQ(e["symbol_hash"], c.symbol_hash) << c.input;
  }
}

struct EpochCase {
  const char* input;
  int64_t created_epoch;
  const char* created_at;
};

TEST_F(MemoryEntryTest, CreationEpochComesFromTheNumberOrTheText) {
  const EpochCase cases[] = {
      {R"({"content": "x", "created_at": "2024-01-01T00:00:00Z"})", 1704067200, "2024-01-01T00:00:00Z"},
      {R"({"content": "x", "created_at": "2024-01-01T02:00:00+02:00", "created_epoch": 0})", 1704067200,
       "2024-01-01T02:00:00+02:00"},
      {R"({"content": "x", "updated_at": "2024-01-01T00:00:01.9+00:00"})", 1704067201, "2024-01-01T00:00:01.9+00:00"},
      {R"({"content": "x", "date": "2024-01-01T00:00:00Z", "created_epoch": 5})", 5, "2024-01-01T00:00:00Z"},
      {R"({"content": "x", "created_epoch": 1700000000.9})", 1700000000, kNowIso},
      {R"({"content": "x", "created_epoch": " 1700000000 "})", 1700000000, kNowIso},
      {R"({"content": "x", "created_epoch": -4, "created_at": "2024-01-01T00:00:00Z"})", 1704067200,
       "2024-01-01T00:00:00Z"},
      {R"({"content": "x", "created_epoch": "soon", "created_at": "2024-01-01T00:00:00Z"})", 1704067200,
       "2024-01-01T00:00:00Z"},
      {R"({"content": "x", "created_at": "yesterday"})", 1767225600, "yesterday"},
      {R"({"content": "x", "created_at": 1704067200})", 1767225600, "1704067200"},
  };
  for (const EpochCase& c : cases) {
    Json e = normalize(c.input);
    EXPECT_EQ(e["created_epoch"], c.created_epoch) << c.input;
    EXPECT_EQ(e["created_at"], c.created_at) << c.input;
  }
}

TEST_F(MemoryEntryTest, UpdatedAtFallsBackToCreatedAt) {
  Json e = normalize(R"({"content": "x", "created_at": "2024-01-01T00:00:00Z"})");
  EXPECT_EQ(e["updated_at"], "2024-01-01T00:00:00Z");
  e = normalize(R"({"content": "x", "created_at": "2024-01-01T00:00:00Z", "updated_at": "2024-02-01T00:00:00Z"})");
  EXPECT_EQ(e["created_at"], "2024-01-01T00:00:00Z");
  EXPECT_EQ(e["updated_at"], "2024-02-01T00:00:00Z");
}

TEST_F(MemoryEntryTest, MembersOfTheWrongTypeReadAsEmpty) {
  Json e = normalize(R"({"content": 42, "tags": {"a": 1}, "observed_queries": ["q", 1, null, "r"],
                         "evidence": ["x"], "stale": "yes", "stale_reason": "  moved  ", "id": 7, "type": "task"})");
  EXPECT_EQ(e.dump(), R"({"id":"7","kind":"task","content":"42","tags":[],"files":[],"file_path":"","symbol_id":"",)"
                      R"("symbol_hash":"","created_at":"2026-01-01T00:00:00.500000+00:00","created_epoch":1767225600,)"
                      R"("updated_at":"2026-01-01T00:00:00.500000+00:00","stale":true,"stale_reason":"moved",)"
                      R"("observed_queries":["q","r"],"evidence":{}})");
}

TEST_F(MemoryEntryTest, KindPrefersKindThenTypeAndIsNotTrimmed) {
  EXPECT_EQ(normalize(R"({"content": "x", "kind": " Decision", "type": "task"})")["kind"], " Decision");
  EXPECT_EQ(normalize(R"({"content": "x", "kind": "", "type": "task"})")["kind"], "task");
  EXPECT_EQ(normalize(R"({"content": "x", "tags": ["b", 2, "b", " c "]})")["tags"].dump(), R"(["b","b"," c "])");
}

// The context store keeps the entries it saved instead of reading them back
// when normalising them again would change nothing; a wrong "true" here would
// serve entries that differ from what a read of the file gives.
TEST_F(MemoryEntryTest, NormalizesToItselfOnlyWhenANewNormalisationChangesNothing) {
  Json padded = normalize(R"({"content": "x", "files": [" src/a.py::load"]})");
  EXPECT_EQ(padded["symbol_id"], " src/a.py::load");
  EXPECT_FALSE(normalizes_to_itself(padded));
  Json symbol_as_path = normalize(R"({"content": "x", "file_path": "src/b.py::g"})");
  EXPECT_EQ(symbol_as_path["symbol_id"], "");
  EXPECT_FALSE(normalizes_to_itself(symbol_as_path));
  EXPECT_TRUE(normalizes_to_itself(normalize(R"({"content": "x", "files": ["src/a.py::load"]})")));
  EXPECT_TRUE(normalizes_to_itself(normalize(R"({"content": "x", "files": ["src/b.py", "c.py::f"]})")));
  EXPECT_TRUE(normalizes_to_itself(normalize(R"({"content": "x"})")));

  // Random entries of hostile shapes, and merges of those sharing an identity.
  std::vector<Json> pool = Json::parse(R"([null, true, false, 0, 7, -3, 2.5, "", " ", "x", " x ", "src/a.py::load",
      " src/a.py::load", "src/c.py::bare", "src/b.py", " src/b.py ", "a::b::c", "2026-01-01T00:00:00Z",
      "1969-12-31T23:59:59+00:00", "bad date", "1700000000", "interaction_pattern", "edit_observation",
      [], ["src/a.py::load"], [" src/a.py::load", "x"], ["", " ", "src/b.py"], [1, "t"], {}, {"k": [1, "x"]}])")
                               .get<std::vector<Json>>();
  const char* keys[] = {"id",
                        "kind",
                        "type",
                        "content",
                        "summary",
                        "tags",
                        "files",
                        "file_path",
                        "symbol_id",
                        "symbol_hash",
                        "created_at",
                        "updated_at",
                        "created_epoch",
                        "stale",
                        "stale_reason",
                        "observed_queries",
                        "evidence"};
  std::mt19937 rng(7);
  std::vector<Json> normalized;
  int fixed = 0;
  while (normalized.size() < 1500) {
    Json raw = Json::object();
    for (const char* key : keys) {
      if (rng() % 3 == 0) raw[key] = pool[rng() % pool.size()];
    }
    std::optional<Json> once = normalize_memory_entry(raw, symbols_, kNow);
    if (!once) continue;
    normalized.push_back(*once);
    if (!normalizes_to_itself(*once)) continue;
    ++fixed;
    ASSERT_EQ(normalize_memory_entry(*once, symbols_, kNow + 1), once) << raw.dump();
  }
  int merges = 0;
  for (size_t i = 0; i < normalized.size(); ++i) {
    for (size_t j = i + 1; j < normalized.size(); ++j) {
      if (memory_identity(normalized[i]) != memory_identity(normalized[j])) continue;
      Json merged = merge_memory_entries(normalized[i], normalized[j], kNow + 2);
      if (!normalizes_to_itself(merged)) continue;
      ++merges;
      ASSERT_EQ(normalize_memory_entry(merged, symbols_, kNow + 3), merged) << merged.dump();
    }
  }
  // Most entries qualify, or the check would be worthless to the store.
  EXPECT_GT(fixed, 1200);
  EXPECT_GT(merges, 500);
}

TEST(MemoryIdTest, IsTheTimeInWholeMilliseconds) {
  EXPECT_EQ(memory_id(1733570000.1239), "mem:1733570000123");
  EXPECT_EQ(memory_id(1733570000.0), "mem:1733570000000");
}

TEST(MemoryAnchorTest, ReferencesNameSymbolsOrFiles) {
  Json index = Json::parse(R"({"a.py::f": {"path": "pkg/a.py", "body_hash": "h1"}, "b.py::g": {}})");
  SymbolLookup symbols = lookup_in_json(index);
  EXPECT_EQ(memory_anchor_for_ref("", symbols), (MemoryAnchor{"", "", ""}));
  EXPECT_EQ(memory_anchor_for_ref("a.py::f", symbols), (MemoryAnchor{"a.py::f", "pkg/a.py", "h1"}));
  EXPECT_EQ(memory_anchor_for_ref("b.py::g", symbols), (MemoryAnchor{"b.py::g", "b.py", ""}));
  EXPECT_EQ(memory_anchor_for_ref("c.py::h::i", symbols), (MemoryAnchor{"c.py::h::i", "c.py", ""}));
  EXPECT_EQ(memory_anchor_for_ref("src/c.py", symbols), (MemoryAnchor{"", "src/c.py", ""}));
}

}  // namespace
}  // namespace lumenfold::lodestar
