#include "lumenfold/lodestar/graph/symbol_index_cache.h"

#include <chrono>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

namespace fs = std::filesystem;

class SymbolIndexCacheTest : public ::testing::Test {
 protected:
  fs::path write(const std::string& text) { return path_ = dir_.write("symbol_index.json", text); }
  void set_mtime(fs::file_time_type t) { fs::last_write_time(path_, t); }

  testing::TempDir dir_;
  fs::path path_ = dir_.path() / "symbol_index.json";
  SymbolIndexCache cache_;
};

TEST_F(SymbolIndexCacheTest, MissingFileGivesAnEmptyIndex) {
  std::shared_ptr<const SymbolIndex> index = cache_.get(path_);
  ASSERT_NE(index, nullptr);
  EXPECT_TRUE(index->empty());
}

TEST_F(SymbolIndexCacheTest, ReadsOncePerFileVersion) {
  write("\xEF\xBB\xBF{\"a.py::f\": {\"line_start\": 3}}");
  const fs::file_time_type t = fs::last_write_time(path_);
  std::shared_ptr<const SymbolIndex> first = cache_.get(path_);
  ASSERT_NE(first->find("a.py::f"), nullptr);
  EXPECT_EQ((*first->find("a.py::f"))["line_start"], 3);

  // Rewritten in place with as many bytes and the old time: the same stamp.
  write("\xEF\xBB\xBF{\"b.py::g\": {\"line_start\": 5}}");
  set_mtime(t);
  EXPECT_EQ(cache_.get(path_), first);

  set_mtime(t + std::chrono::nanoseconds(1));
  std::shared_ptr<const SymbolIndex> second = cache_.get(path_);
  EXPECT_EQ(second->find("a.py::f"), nullptr);
  EXPECT_NE(second->find("b.py::g"), nullptr);
}

TEST_F(SymbolIndexCacheTest, AnotherSizeAtTheSameTimeIsReadAgain) {
  write(R"({"a::f": {}})");
  const fs::file_time_type t = fs::last_write_time(path_);
  EXPECT_EQ(cache_.get(path_)->size(), 1u);
  write(R"({"a::f": {}, "b::g": {}})");
  set_mtime(t);
  EXPECT_EQ(cache_.get(path_)->size(), 2u);
}

TEST_F(SymbolIndexCacheTest, NonObjectIsEmptyUntilTheFileChanges) {
  // Each text as long as the object written over it.
  for (const char* text : {"[1, 2]      ", "null        ", "\"text\"      "}) {
    write(text);
    const fs::file_time_type t = fs::last_write_time(path_);
    EXPECT_TRUE(cache_.get(path_)->empty()) << text;
    write(R"({"a::f": {}})");
    set_mtime(t);
    EXPECT_TRUE(cache_.get(path_)->empty()) << text;
    set_mtime(t + std::chrono::seconds(1));
    EXPECT_EQ(cache_.get(path_)->size(), 1u) << text;
    fs::remove(path_);
  }
}

TEST_F(SymbolIndexCacheTest, TextThatIsNotJsonIsTriedAgain) {
  write("{broken");
  const fs::file_time_type t = fs::last_write_time(path_);
  EXPECT_TRUE(cache_.get(path_)->empty());
  write(R"({"a::f": {}})");
  set_mtime(t);
  EXPECT_EQ(cache_.get(path_)->size(), 1u);
}

TEST_F(SymbolIndexCacheTest, DeletedFileGivesEmptyButKeepsTheCache) {
  write(R"({"a::f": {}})");
  std::shared_ptr<const SymbolIndex> first = cache_.get(path_);
  // Moved away and back: the same file, stamp unchanged.
  const fs::path aside = dir_.path() / "aside.json";
  fs::rename(path_, aside);
  EXPECT_TRUE(cache_.get(path_)->empty());
  fs::rename(aside, path_);
  EXPECT_EQ(cache_.get(path_), first);
}

}  // namespace
}  // namespace lumenfold::lodestar
