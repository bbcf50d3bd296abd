#include "lumenfold/lodestar/graph/symbol_index.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;

std::string built(const std::string& graph_text) { return build_symbol_index(Json::parse(graph_text)).dump(); }

TEST(BuildSymbolIndexTest, EmptyWithoutSymbolNodes) {
  EXPECT_EQ(built(R"({})"), "{}");
  EXPECT_EQ(built(R"({"nodes": 3})"), "{}");
  EXPECT_EQ(built(R"({"nodes": [{"id": "a.py", "kind": "file"}]})"), "{}");
  EXPECT_EQ(build_symbol_index(Json::array()).dump(), "{}");
}

TEST(BuildSymbolIndexTest, CopiesTheFiveMembersInOrder) {
  EXPECT_EQ(built(R"({"nodes": [{"path": "a.py", "confidence": "high", "body_hash": "0badf00d",
                           "line_end": 9, "line_start": 4, "kind": "symbol", "id": "a.py::f",
                           "name": "f"}]})"),
            R"({"a.py::f":{"line_start":4,"line_end":9,"body_hash":"0badf00d","confidence":"high","path":"a.py"}})");
}

TEST(BuildSymbolIndexTest, FillsMissingMembersAndSkipsNodesWithoutId) {
  EXPECT_EQ(built(R"({"nodes": [
                 {"kind": "symbol", "line_start": 1},
                 {"kind": "symbol", "id": ""},
                 {"kind": "symbol", "id": null},
                 {"kind": "symbol", "id": "b.py::g"},
                 {"kind": "Symbol", "id": "b.py::h"},
                 "not a node"]})"),
            R"({"b.py::g":{"line_start":0,"line_end":0,"body_hash":"","confidence":"","path":""}})");
}

TEST(BuildSymbolIndexTest, LaterDuplicateReplacesValueInPlace) {
  EXPECT_EQ(built(R"({"nodes": [
                 {"kind": "symbol", "id": "x::a", "line_start": 1},
                 {"kind": "symbol", "id": "x::b", "line_start": 2},
                 {"kind": "symbol", "id": "x::a", "line_start": 3}]})"),
            R"({"x::a":{"line_start":3,"line_end":0,"body_hash":"","confidence":"","path":""},)"
            R"("x::b":{"line_start":2,"line_end":0,"body_hash":"","confidence":"","path":""}})");
}

TEST(SymbolIndexTest, FindsEntriesById) {
  SymbolIndex index(Json::parse(R"({"a::f": {"line_start": 1}, "a::g": 5})"));
  ASSERT_NE(index.find("a::f"), nullptr);
  EXPECT_EQ((*index.find("a::f"))["line_start"], 1);
  EXPECT_EQ(*index.find("a::g"), 5);
  EXPECT_EQ(index.find("a::h"), nullptr);
  EXPECT_EQ(index.size(), 2u);

  SymbolIndex moved = std::move(index);
  ASSERT_NE(moved.find("a::f"), nullptr);
  EXPECT_EQ((*moved.find("a::f"))["line_start"], 1);
}

TEST(SymbolIndexTest, NonObjectDocumentIsEmpty) {
  for (const char* text : {"null", "[1, 2]", "\"x\""}) {
    SymbolIndex index(Json::parse(text));
    EXPECT_TRUE(index.empty()) << text;
    EXPECT_EQ(index.doc().dump(), "{}");
  }
  EXPECT_TRUE(SymbolIndex().empty());
}

}  // namespace
}  // namespace lumenfold::lodestar
