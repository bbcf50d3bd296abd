#include "lumenfold/lodestar/memory/symbol_lookup.h"

#include <chrono>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/symbol_index.h"
#include "lumenfold/lodestar/graph/symbol_index_cache.h"
#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

TEST(SymbolLookupTest, JsonMapFindsRecordsAndRecordFiltersNonObjects) {
  Json index = Json::parse(R"({"a.py::f": {"body_hash": "h"}, "a.py::g": [1]})");
  SymbolLookup symbols = lookup_in_json(index);
  ASSERT_NE(symbols("a.py::f"), nullptr);
  EXPECT_EQ((*symbols("a.py::f"))["body_hash"], "h");
  EXPECT_EQ(symbols("a.py::h"), nullptr);
  EXPECT_NE(symbols("a.py::g"), nullptr);
  EXPECT_EQ(symbol_record(symbols, "a.py::g"), nullptr);
  Json not_an_index = Json::array();
  EXPECT_EQ(lookup_in_json(not_an_index)("a.py::f"), nullptr);
  EXPECT_EQ(no_symbols()("a.py::f"), nullptr);
}

TEST(SymbolLookupTest, LazyLookupReadsTheIndexOnceOnFirstUse) {
  lumenfold::testing::TempDir dir;
  std::filesystem::path file = dir.path() / "symbol_index.json";
  SymbolIndexCache cache;
  SymbolLookup symbols = lazy_index_lookup(cache, file);
  dir.write("symbol_index.json", R"({"a.py::f": {"body_hash": "first"}})");
  EXPECT_EQ((*symbols("a.py::f"))["body_hash"], "first");
  // A new index file does not change what this operation sees.
  auto first_time = std::filesystem::last_write_time(file);
  dir.write("symbol_index.json", R"({"a.py::f": {"body_hash": "second", "x": 1}})");
  std::filesystem::last_write_time(file, first_time + std::chrono::seconds(1));
  EXPECT_EQ((*symbols("a.py::f"))["body_hash"], "first");
  EXPECT_EQ((*lazy_index_lookup(cache, file)("a.py::f"))["body_hash"], "second");
  SymbolIndex index(Json::parse(R"({"b.py::g": {"path": "b.py"}})"));
  EXPECT_EQ((*lookup_in_index(index)("b.py::g"))["path"], "b.py");
  EXPECT_EQ(lookup_in_index(index)("b.py::h"), nullptr);
}

}  // namespace
}  // namespace lumenfold::lodestar
