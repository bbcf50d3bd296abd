#include "lumenfold/common/json_file_cache.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support/temp_dir.h"

namespace lumenfold::common {
namespace {

namespace fs = std::filesystem;

class JsonFileCacheTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  fs::path path_ = dir_.path() / "doc.json";
  JsonFileCache cache_;
};

TEST_F(JsonFileCacheTest, ParsesOncePerFileVersion) {
  dir_.write("doc.json", "\xEF\xBB\xBF{\"a\": 1}");
  std::shared_ptr<const Json> first = cache_.get(path_);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ((*first)["a"], 1);
  EXPECT_EQ(cache_.get(path_), first);

  write_file_atomically(path_, "{\"a\": 2}");
  std::shared_ptr<const Json> second = cache_.get(path_);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ((*second)["a"], 2);
  EXPECT_EQ((*first)["a"], 1);  // a held copy is never changed
}

TEST_F(JsonFileCacheTest, MissingOrBrokenFilesGiveNull) {
  EXPECT_EQ(cache_.get(path_), nullptr);
  dir_.write("doc.json", "{\"a\": 1}");
  ASSERT_NE(cache_.get(path_), nullptr);
  write_file_atomically(path_, "{broken");
  EXPECT_EQ(cache_.get(path_), nullptr);
  write_file_atomically(path_, "[3]");
  ASSERT_NE(cache_.get(path_), nullptr);
  fs::remove(path_);
  EXPECT_EQ(cache_.get(path_), nullptr);
}

TEST_F(JsonFileCacheTest, RememberedDocumentIsServedUntilTheFileChanges) {
  write_file_atomically(path_, "{\"a\": 1}");
  // What was written, remembered as parsed; a different document proves
  // that no parse happened.
  cache_.remember(path_, Json{{"remembered", true}});
  EXPECT_EQ(cache_.get(path_)->dump(), R"({"remembered":true})");
  write_file_atomically(path_, "{\"a\": 3}");
  EXPECT_EQ(cache_.get(path_)->dump(), R"({"a":3})");
}

TEST_F(JsonFileCacheTest, AnotherPathIsReadOnItsOwn) {
  dir_.write("doc.json", "{\"a\": 1}");
  dir_.write("other.json", "{\"b\": 2}");
  ASSERT_NE(cache_.get(path_), nullptr);
  EXPECT_EQ(cache_.get(dir_.path() / "other.json")->dump(), R"({"b":2})");
  EXPECT_EQ(cache_.get(path_)->dump(), R"({"a":1})");
}

}  // namespace
}  // namespace lumenfold::common
