#include "lumenfold/lodestar/memory/memory_entry.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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
  const char* texts[] = {R"([{"content": "x"}])", R"("content")", "null", R"({})", R"({"content": "   "})",
                         R"({"content": "", "summary": ""})", R"({"content": null, "summary": false})",
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
      {R"({"content": "x", "symbol_id": "src/a.py::load", "file_path": "mine.py"})", R"(["src/a.py::load"])",
       "mine.py", "src/a.py::load", "abcd1234"},
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
      {R"({"content": "x", "updated_at": "2024-01-01T00:00:01.9+00:00"})", 1704067201,
       "2024-01-01T00:00:01.9+00:00"},
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
