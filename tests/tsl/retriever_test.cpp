#include "lumenfold/tsl/retriever.h"

#include <gtest/gtest.h>

#include "tsl_project.h"

namespace lumenfold::tsl {
namespace {

using common::Json;

const std::vector<std::pair<std::string, std::string>> kProject = {
    {"ledger/journal.py",
     "\"\"\"Double-entry journal.\"\"\"\nfrom ledger.accounts import Account\n"
     "class Journal:\n    def post(self, entry):\n        pass\n"
     "def post_entry(journal, entry):\n    journal.post(entry)\n"},
    {"ledger/accounts.py", "class Account:\n    def balance(self):\n        return 0\n"},
    {"ledger/report.py", "from ledger.journal import Journal\ndef print_report(journal):\n    pass\n"},
};

TEST(RetrieverTest, AnswersWithScoredFilesSymbolsSummariesAndEdges) {
  TslProject project(kProject);
  Retriever retriever;
  Json out = retriever.retrieve(project.graph(), "Journal.post drops the entry", 2, 3);
  ASSERT_TRUE(out.is_object());
  ASSERT_EQ(out["files"].size(), 2u);
  const Json& top = out["files"][0];
  EXPECT_EQ(top["id"], "ledger/journal.py");
  EXPECT_GE(top["_score"].get<int>(), 10);
  EXPECT_EQ(top["symbols"], Json::parse(R"(["ledger/journal.py::Journal", "ledger/journal.py::post_entry"])"));
  EXPECT_EQ(top["summary"], "Double-entry journal. Contains 2 functions/classes: Journal, post_entry.");
  std::vector<std::string> keys;
  for (auto it = top.begin(); it != top.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"id", "_score", "symbols", "summary"}));
  EXPECT_LE(out["files"][1]["_score"].get<int>(), 9);
  EXPECT_EQ(out["files"][1]["id"], "ledger/report.py");
  EXPECT_EQ(out["edges"], Json::parse(R"([{"from": "ledger/report.py", "to": "ledger.journal", "rel": "imports"},
                                          {"from": "ledger/journal.py", "to": "ledger.accounts", "rel": "imports"}])"));
}

TEST(RetrieverTest, ReturnsAtLeastOneFileWhenAnythingMatches) {
  TslProject project(kProject);
  Retriever retriever;
  Json graph = project.graph();
  for (int64_t top : {0, -3, 1}) {
    Json out = retriever.retrieve(graph, "account balance", top, -1);
    ASSERT_EQ(out["files"].size(), 1u) << top;
    EXPECT_EQ(out["files"][0]["id"], "ledger/accounts.py");
    EXPECT_EQ(out["edges"], Json::array());
  }
  Json none = retriever.retrieve(graph, "zebra", 5, 12);
  EXPECT_EQ(none["files"], Json::array());
  EXPECT_EQ(none["edges"], Json::array());
}

TEST(RetrieverTest, KeepsItsIndexUntilTheGraphChanges) {
  TslProject project(kProject);
  Retriever retriever;
  Json graph = project.graph();
  EXPECT_EQ(retriever.retrieve(graph, "reconcile", 5, 0)["files"].size(), 0u);
  // The text changes on disk, but the graph does not: the index stays.
  project.dir().write("ledger/accounts.py", "def reconcile():\n    pass\n");
  EXPECT_EQ(retriever.retrieve(graph, "reconcile", 5, 0)["files"].size(), 0u);
  // A new scan records the new hash: the index is rebuilt.
  Json rescanned = project.graph();
  Json out = retriever.retrieve(rescanned, "reconcile", 5, 0);
  ASSERT_EQ(out["files"].size(), 1u);
  EXPECT_EQ(out["files"][0]["id"], "ledger/accounts.py");
}

}  // namespace
}  // namespace lumenfold::tsl
