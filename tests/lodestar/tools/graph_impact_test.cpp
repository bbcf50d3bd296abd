#include "lumenfold/lodestar/tools/graph_impact.h"

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/common/json.h"
#include "server_test_state.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using lumenfold::testing::TempDir;
using testing::make_test_state;

void write_graph(const TempDir& dir, const ServerState& state, const std::string& edges) {
  dir.write("data/info_graph.json", R"({"root": ")" + state.settings.project_root.string() +
                                        R"(", "nodes": [{"id": "x"}], "edges": )" + edges + "}");
}

TEST(GraphImpactTest, ConnectsLocalFilesBothWays) {
  TempDir dir;
  auto state = make_test_state(dir);
  write_graph(dir, *state, R"([{"from": "a.py", "to": "os", "rel": "imports"},
                                {"from": "b.py", "to": "a.py", "rel": "imports"},
                                {"from": "c.py", "to": "d.py", "rel": "imports"}])");
  // Neither "os" nor a file name without a directory is a local file
  // reference, so nothing is connected.
  Json out = graph_impact({{"d.py", "a.py"}}, *state);
  EXPECT_EQ(out, Json::parse(R"({"ok": true, "changed_files": ["a.py", "d.py"], "connected_files": [],
                                  "untouched_connected_files": []})"));
}

TEST(GraphImpactTest, SortsAndSeparatesUntouchedFiles) {
  TempDir dir;
  auto state = make_test_state(dir);
  write_graph(dir, *state, R"([
    {"from": "src/z.py", "to": "src/a.py", "rel": "imports"},
    {"from": "src/a.py", "to": "lib/m.py", "rel": "references"},
    {"from": "src/a.py", "to": "src/z.py", "rel": "references"},
    {"from": "src/q.py", "to": "src/a.py::run", "rel": "references"},
    {"to": "src/a.py", "rel": "imports"}])");
  Json out = graph_impact({{"src/z.py", "src/a.py"}}, *state);
  EXPECT_EQ(out["changed_files"], Json::parse(R"(["src/a.py", "src/z.py"])"));
  EXPECT_EQ(out["connected_files"], Json::parse(R"(["lib/m.py", "src/a.py", "src/z.py"])"));
  EXPECT_EQ(out["untouched_connected_files"], Json::parse(R"(["lib/m.py"])"));
  // Logged and recorded as an "impact" action.
  std::string actions = dir.read("data/chat_action_graph.json");
  EXPECT_NE(actions.find("\"kind\": \"impact\""), std::string::npos);
}

TEST(GraphImpactTest, EmptyListGivesThreeEmptyLists) {
  TempDir dir;
  auto state = make_test_state(dir);
  write_graph(dir, *state, "[]");
  EXPECT_EQ(
      graph_impact({{}}, *state),
      Json::parse(R"({"ok": true, "changed_files": [], "connected_files": [], "untouched_connected_files": []})"));
}

// `count` names "src/f<i>.py", zero-padded so that their order is their
// sorted order.
Json names(size_t count) {
  Json out = Json::array();
  for (size_t i = 0; i < count; ++i) {
    out.push_back("src/f" + std::string(3 - std::to_string(i).size(), '0') + std::to_string(i) + ".py");
  }
  return out;
}

Json concat(Json first, const Json& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST(GraphImpactTest, CutsTheChangedFilesAndSaysSo) {
  const Json many = names(101);
  const Json first_100(many.begin(), many.begin() + 100);
  const std::string too_long = "src/" + std::string(4093, 'x');
  struct Case {
    const char* name;
    Json changed;
    Json kept;
    Json connected;
    Json untouched;
    Json marks;
  } cases[] = {
      {"ordinary", Json::array({"src/z.py", "src/a.py"}), Json::array({"src/z.py", "src/a.py"}),
       Json::array({"src/a.py", "src/z.py"}), Json::array(), Json::object()},
      {"a name longer than a path",
       Json::array({too_long, "src/a.py"}),
       Json::array({"src/a.py"}),
       Json::array({"src/z.py"}),
       Json::array({"src/z.py"}),
       {{"changed_files_dropped_too_long", 1}}},
      // The edge of the 101st file is not followed.
      {"more than 100 files", many, first_100, Json::array(), Json::array(), {{"changed_files_truncated_to", 100}}},
      {"a name longer than a path after the cut",
       concat(many, Json::array({too_long})),
       first_100,
       Json::array(),
       Json::array(),
       {{"changed_files_dropped_too_long", 1}, {"changed_files_truncated_to", 100}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto state = make_test_state(dir);
    write_graph(dir, *state, R"([{"from": "src/z.py", "to": "src/a.py", "rel": "imports"},
                                  {"from": "src/f100.py", "to": "lib/m.py", "rel": "imports"}])");
    Json expected{{"ok", true},
                  {"changed_files", std::set<std::string>(c.kept.begin(), c.kept.end())},
                  {"connected_files", c.connected},
                  {"untouched_connected_files", c.untouched}};
    expected.update(c.marks);
    EXPECT_EQ(graph_impact({c.changed.get<std::vector<std::string>>()}, *state), expected) << c.name;
    EXPECT_EQ(testing::logged_payloads(dir), std::vector<Json>{Json({{"changed_files", c.kept}})}) << c.name;
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
