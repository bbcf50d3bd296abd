#include "lumenfold/lodestar/cache/retrieval_cache.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

constexpr int64_t kNow = 1767225600;
constexpr int64_t kTtl = 900;

class RetrievalCacheTest : public ::testing::Test {
 protected:
  RetrievalCacheTest() {
    dir_.write("project/src/a.py", "a");
    dir_.write("project/src/b.py", "b");
  }
  fs::path root() const { return dir_.path() / "project"; }
  int64_t mtime(const char* rel) const { return file_mtime_ns(root() / rel); }
  // An entry of `files`, stored now with their current times.
  Json fresh_entry(std::vector<std::string> files, int64_t created = kNow) const {
    Json mtimes = Json::object();
    for (const std::string& f : files) {
      std::string base = f.substr(0, f.find("::"));
      mtimes[f] = file_mtime_ns(root() / base);
    }
    return Json{{"created_epoch", created}, {"files", files}, {"mtimes_ns", mtimes}, {"result", {{"ok", true}}}};
  }
  void write_cache(const Json& doc) { dir_.write("data/retrieval_cache.json", common::dump_indented(doc)); }
  Json on_disk() const { return Json::parse(dir_.read("data/retrieval_cache.json")); }

  TempDir dir_;
  RetrievalCache cache_{dir_.path() / "data" / "retrieval_cache.json", kTtl};
};

TEST_F(RetrievalCacheTest, UnusableFilesLoadAsEmptyCache) {
  EXPECT_EQ(cache_.load(kNow).dump(), R"({"entries":{}})");
  const char* texts[] = {"[]", "null", "{oops", "", "\"entries\""};
  for (const char* text : texts) {
    dir_.write("data/retrieval_cache.json", text);
    EXPECT_EQ(cache_.load(kNow).dump(), R"({"entries":{}})") << text;
    EXPECT_EQ(dir_.read("data/retrieval_cache.json"), text);
  }
}

TEST_F(RetrievalCacheTest, LoadDropsExpiredAndMalformedEntriesAndKeepsTheRest) {
  dir_.write("data/retrieval_cache.json",
             "\xEF\xBB\xBF"
             R"({"version": 2, "entries": {
      "exact": {"created_epoch": 1767224700, "files": []},
      "late": {"created_epoch": 1767224699},
      "untimed": {"files": []},
      "zero": {"created_epoch": 0},
      "text-time": {"created_epoch": "soon"},
      "string-int": {"created_epoch": "1767225000"},
      "list": [1],
      "future": {"created_epoch": 1767229999}
    }, "tail": true})");
  EXPECT_EQ(cache_.load(kNow).dump(),
            R"({"version":2,"entries":{"exact":{"created_epoch":1767224700,"files":[]},)"
            R"("string-int":{"created_epoch":"1767225000"},"future":{"created_epoch":1767229999}},"tail":true})");
}

TEST_F(RetrievalCacheTest, TimesAtTheEndsOfTheIntegerRangeNeitherOverflowNorServe) {
  dir_.write("data/retrieval_cache.json", R"({"entries": {
      "ancient": {"created_epoch": -9223372036854775808, "files": []},
      "far-future": {"created_epoch": 9223372036854775807, "files": []}
    }})");
  EXPECT_EQ(cache_.load(kNow).dump(), R"({"entries":{"far-future":{"created_epoch":9223372036854775807,"files":[]}}})");
  EXPECT_EQ(cache_.find("ancient", kNow), std::nullopt);
  EXPECT_FALSE(cache_.entry_valid(Json{{"created_epoch", INT64_MIN}, {"files", Json::array()}}, root(), kNow));
}

TEST_F(RetrievalCacheTest, EntriesMemberOfTheWrongTypeBecomesEmpty) {
  dir_.write("data/retrieval_cache.json", R"({"entries": [1, 2], "x": 1})");
  EXPECT_EQ(cache_.load(kNow).dump(), R"({"entries":{},"x":1})");
  dir_.write("data/retrieval_cache.json", R"({"x": 1})");
  EXPECT_EQ(cache_.load(kNow).dump(), R"({"x":1,"entries":{}})");
}

TEST_F(RetrievalCacheTest, FindCopiesOneUsableEntry) {
  write_cache(Json{{"entries",
                    {{"ok", {{"created_epoch", kNow - kTtl}, {"files", Json::array()}}},
                     {"old", {{"created_epoch", kNow - kTtl - 1}}},
                     {"list", Json::array({1})}}}});
  std::optional<Json> ok = cache_.find("ok", kNow);
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(ok->dump(), R"({"created_epoch":1767224700,"files":[]})");
  EXPECT_FALSE(cache_.find("old", kNow).has_value());
  EXPECT_FALSE(cache_.find("list", kNow).has_value());
  EXPECT_FALSE(cache_.find("absent", kNow).has_value());
  write_cache(Json{{"entries", Json::array()}});
  EXPECT_FALSE(cache_.find("ok", kNow).has_value());
}

TEST_F(RetrievalCacheTest, KeptParseFollowsSavesAndOutsideChanges) {
  common::JsonFileCache parsed;
  RetrievalCache cache(dir_.path() / "data" / "retrieval_cache.json", kTtl, &parsed);
  cache.save(Json{{"entries", {{"k", fresh_entry({"src/a.py"})}}}}, kNow);
  ASSERT_TRUE(cache.find("k", kNow).has_value());
  // Another server, or the user, empties the file: it is read again.
  write_cache(Json{{"entries", Json::object()}});
  EXPECT_FALSE(cache.find("k", kNow).has_value());
  EXPECT_EQ(cache.invalidate_files(std::vector<std::string>{"src/a.py"}, kNow), 0);
  EXPECT_EQ(on_disk().dump(), R"({"entries":{}})");
}

TEST_F(RetrievalCacheTest, SavedFileIsIndentedAscii) {
  cache_.save(Json{{"entries", {{"caf\xC3\xA9|tf=5|te=12", {{"created_epoch", 1}, {"files", Json::array()}}}}}}, kNow);
  EXPECT_EQ(dir_.read("data/retrieval_cache.json"),
            "{\n"
            "  \"entries\": {\n"
            "    \"caf\\u00e9|tf=5|te=12\": {\n"
            "      \"created_epoch\": 1,\n"
            "      \"files\": []\n"
            "    }\n"
            "  }\n"
            "}");
}

TEST_F(RetrievalCacheTest, FreshEntryWithUnchangedFilesIsValid) {
  EXPECT_TRUE(cache_.entry_valid(fresh_entry({"src/a.py", "src/b.py::f"}), root(), kNow));
  EXPECT_TRUE(cache_.entry_valid(fresh_entry({}), root(), kNow));
  EXPECT_TRUE(cache_.entry_valid(fresh_entry({"src/a.py"}, kNow - kTtl), root(), kNow));
}

TEST_F(RetrievalCacheTest, EntriesThatMustNotBeServed) {
  struct Case {
    const char* why;
    Json entry;
  };
  Json touched = fresh_entry({"src/a.py"});
  Json missing_time = fresh_entry({"src/a.py", "src/b.py"});
  missing_time["mtimes_ns"].erase("src/b.py");
  Json symbol_keyed_by_file = fresh_entry({"src/a.py::f"});
  symbol_keyed_by_file["mtimes_ns"] = {{"src/a.py", mtime("src/a.py")}};
  Json text_time = fresh_entry({"src/a.py"});
  text_time["mtimes_ns"]["src/a.py"] = "recent";
  Json no_mtimes = fresh_entry({"src/a.py"});
  no_mtimes.erase("mtimes_ns");
  const Case cases[] = {
      {"one second too old", fresh_entry({"src/a.py"}, kNow - kTtl - 1)},
      {"no time", Json{{"files", Json::array()}, {"mtimes_ns", Json::object()}}},
      {"zero time", fresh_entry({}, 0)},
      {"text time", Json{{"created_epoch", "soon"}, {"files", Json::array()}}},
      {"file gone", fresh_entry({"src/gone.py"})},
      {"time missing for one file", missing_time},
      {"times are keyed by the full reference", symbol_keyed_by_file},
      {"stored time not a number", text_time},
      {"files not a list", Json{{"created_epoch", kNow}, {"files", "src/a.py"}, {"mtimes_ns", Json::object()}}},
      {"times not an object", Json{{"created_epoch", kNow}, {"files", Json::array()}, {"mtimes_ns", Json::array()}}},
      {"empty file reference", Json{{"created_epoch", kNow}, {"files", {""}}, {"mtimes_ns", Json::object()}}},
      {"non-text file reference", Json{{"created_epoch", kNow}, {"files", {1}}, {"mtimes_ns", Json::object()}}},
      {"mtimes absent while files are listed", no_mtimes},
      {"not an object", Json::array()},
  };
  for (const Case& c : cases) EXPECT_FALSE(cache_.entry_valid(c.entry, root(), kNow)) << c.why;
}

TEST_F(RetrievalCacheTest, TouchingAFileInvalidatesTheEntry) {
  Json entry = fresh_entry({"src/a.py::f"});
  fs::path a = root() / "src/a.py";
  fs::last_write_time(a, fs::last_write_time(a) + std::chrono::nanoseconds(1));
  EXPECT_FALSE(cache_.entry_valid(entry, root(), kNow));
}

TEST_F(RetrievalCacheTest, InvalidationComparesReferencesAndTheirFiles) {
  struct Case {
    std::vector<std::string> changed;
    const char* survivors;
    int64_t removed;
  };
  const Case cases[] = {
      {{"src/a.py"}, R"(["b","odd"])", 3},
      {{"src/a.py::f"}, R"(["b","odd"])", 3},
      {{"src/b.py::g"}, R"(["file","sym-f","sym-g","odd"])", 1},
      {{"src/c.py"}, R"(["file","sym-f","sym-g","b","odd"])", 0},
      {{}, R"(["file","sym-f","sym-g","b","odd"])", 0},
  };
  for (const Case& c : cases) {
    write_cache(Json{{"entries",
                      {{"file", {{"created_epoch", kNow}, {"files", {"src/a.py"}}}},
                       {"sym-f", {{"created_epoch", kNow}, {"files", {"src/x.py", "src/a.py::f"}}}},
                       {"sym-g", {{"created_epoch", kNow}, {"files", {"src/a.py::g", 5}}}},
                       {"b", {{"created_epoch", kNow}, {"files", {"src/b.py"}}}},
                       {"odd", {{"created_epoch", kNow}, {"files", "src/a.py"}}},
                       {"expired", {{"created_epoch", kNow - kTtl - 1}, {"files", {"src/c.py"}}}}}}});
    EXPECT_EQ(cache_.invalidate_files(c.changed, kNow), c.removed);
    Json entries = on_disk()["entries"];
    Json keys = Json::array();
    for (auto it = entries.begin(); it != entries.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys.dump(), c.survivors) << (c.changed.empty() ? "" : c.changed[0]);
  }
}

TEST_F(RetrievalCacheTest, InvalidationWithoutACacheFileWritesAnEmptyOne) {
  EXPECT_EQ(cache_.invalidate_files(std::vector<std::string>{"src/a.py"}, kNow), 0);
  EXPECT_EQ(dir_.read("data/retrieval_cache.json"), "{\n  \"entries\": {}\n}");
}

TEST(FileMtimeNsTest, WholeNanosecondsOrMinusOne) {
  TempDir dir;
  fs::path f = dir.write("x", "1");
  std::chrono::sys_time<std::chrono::nanoseconds> when{std::chrono::nanoseconds(1'700'000'000'123'456'789)};
  fs::last_write_time(f, std::chrono::file_clock::from_sys(when));
  EXPECT_EQ(file_mtime_ns(f), 1'700'000'000'123'456'789);
  EXPECT_EQ(file_mtime_ns(dir.path() / "missing"), -1);
}

TEST_F(RetrievalCacheTest, DamagedFilesAreSetAsideBeforeASaveOrAnInvalidation) {
  const char* texts[] = {"[]", "null", "{oops", "", "\"entries\""};
  for (const char* text : texts) {
    TempDir dir;
    common::JsonFileCache parsed;
    RetrievalCache cache(dir.path() / "retrieval_cache.json", kTtl, &parsed);
    dir.write("retrieval_cache.json", text);
    EXPECT_EQ(cache.load(kNow).dump(), R"({"entries":{}})") << text;
    cache.save(Json{{"entries", Json::object()}}, kNow);
    EXPECT_EQ(dir.read("retrieval_cache.json.corrupt-1767225600"), text);
    dir.write("retrieval_cache.json", text);
    EXPECT_EQ(cache.invalidate_files(std::vector<std::string>{"src/a.py"}, kNow), 0);
    EXPECT_EQ(dir.read("retrieval_cache.json.corrupt-1767225600-2"), text);
    EXPECT_EQ(dir.read("retrieval_cache.json"), "{\n  \"entries\": {}\n}") << text;
  }
}

TEST_F(RetrievalCacheTest, SavingOverASoundFileKeepsNoCopy) {
  write_cache(Json{{"entries", Json::object()}, {"version", 2}});
  cache_.save(Json{{"entries", Json::object()}}, kNow);
  EXPECT_EQ(on_disk().dump(), R"({"entries":{}})");
  for (const auto& e : fs::directory_iterator(dir_.path() / "data")) {
    EXPECT_EQ(e.path().filename().string().find(".corrupt-"), std::string::npos) << e.path();
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
