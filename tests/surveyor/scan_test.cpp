#include "lumenfold/surveyor/scan.h"

#include <algorithm>
#include <map>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/surveyor/graph_documents.h"
#include "test_support/temp_dir.h"

namespace lumenfold::surveyor {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

std::vector<std::string> file_ids(const Json& graph) {
  std::vector<std::string> ids;
  for (const Json& n : graph["nodes"]) {
    if (n["kind"] == "file") ids.push_back(n["id"]);
  }
  return ids;
}

// A small tree whose two documents were written out by hand.
TEST(ScanDocumentsTest, SmallTreeGivesExactDocuments) {
  TempDir dir;
  dir.write("README.md", "# Demo \xC3\xA9t\xC3\xA9\n");
  dir.write("app/util.py", "def load_user(x):\n    return x\n");
  Json graph = scan(dir.path());
  std::string expected =
      "{\n"
      "  \"root\": \"" +
      dir.path().string() +
      "\",\n"
      "  \"node_count\": 3,\n"
      "  \"edge_count\": 1,\n"
      "  \"file_count\": 2,\n"
      "  \"symbol_count\": 1,\n"
      "  \"nodes\": [\n"
      "    {\n"
      "      \"id\": \"README.md\",\n"
      "      \"kind\": \"file\",\n"
      "      \"path\": \"README.md\",\n"
      "      \"ext\": \".md\",\n"
      "      \"size\": 13,\n"
      "      \"keywords\": [],\n"
      "      \"content\": \"# Demo \\u00e9t\\u00e9\\n\",\n"
      "      \"summary\": \"Handles README.\",\n"
      "      \"file_hash\": \"6868e7ee\"\n"
      "    },\n"
      "    {\n"
      "      \"id\": \"app/util.py\",\n"
      "      \"kind\": \"file\",\n"
      "      \"path\": \"app/util.py\",\n"
      "      \"ext\": \".py\",\n"
      "      \"size\": 31,\n"
      "      \"keywords\": [\n"
      "        \"load_user\",\n"
      "        \"load\",\n"
      "        \"user\"\n"
      "      ],\n"
      "      \"content\": \"def load_user(x):\\n    return x\\n\",\n"
      "      \"summary\": \"def load_user(x):. Contains 1 function: load_user.\",\n"
      "      \"file_hash\": \"55dd6454\"\n"
      "    },\n"
      "    {\n"
      "      \"id\": \"app/util.py::load_user\",\n"
      "      \"kind\": \"symbol\",\n"
      "      \"path\": \"app/util.py\",\n"
      "      \"ext\": \".py\",\n"
      "      \"size\": 2,\n"
      "      \"keywords\": [\n"
      "        \"load_user\",\n"
      "        \"load\",\n"
      "        \"user\"\n"
      "      ],\n"
      "      \"symbol_type\": \"use_case\",\n"
      "      \"name\": \"load_user\",\n"
      "      \"line_start\": 0,\n"
      "      \"line_end\": 1,\n"
      "      \"body_hash\": \"a080a0d8\",\n"
      "      \"confidence\": \"high\",\n"
      "      \"exported\": true\n"
      "    }\n"
      "  ],\n"
      "  \"edges\": [\n"
      "    {\n"
      "      \"from\": \"app/util.py\",\n"
      "      \"to\": \"app/util.py::load_user\",\n"
      "      \"rel\": \"contains\"\n"
      "    }\n"
      "  ]\n"
      "}";
  EXPECT_EQ(common::dump_indented(graph), expected);
  EXPECT_EQ(common::dump_spaced(build_symbol_index(graph["nodes"])),
            "{\"app/util.py::load_user\": {\"line_start\": 0, \"line_end\": 1, \"body_hash\": \"a080a0d8\", "
            "\"confidence\": \"high\", \"path\": \"app/util.py\"}}");
}

TEST(ScanTest, EmptyTreeGivesEmptyDocuments) {
  TempDir dir;
  dir.write("notes.txt", "not scannable");
  Json graph = scan(dir.path());
  EXPECT_EQ(common::dump_spaced(graph),
            "{\"root\": \"" + dir.path().string() +
                "\", \"node_count\": 0, \"edge_count\": 0, \"file_count\": 0, \"symbol_count\": 0, "
                "\"nodes\": [], \"edges\": []}");
  EXPECT_EQ(common::dump_spaced(build_symbol_index(graph["nodes"])), "{}");
}

TEST(ScanTest, ProgressCountsEveryFileUpToTheTotal) {
  TempDir dir;
  for (const char* name : {"a.py", "b/c.md", "b/d.ts", "e.go"}) dir.write(name, "x = 1\n");
  std::vector<std::pair<size_t, size_t>> calls;
  Json graph = scan(dir.path(), {}, [&](size_t done, size_t total) { calls.emplace_back(done, total); });
  const size_t files = graph["file_count"].get<size_t>();
  ASSERT_EQ(calls.size(), files + 1);
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i], std::make_pair(i, files));
  EXPECT_EQ(common::dump_spaced(graph), common::dump_spaced(scan(dir.path())));
}

TEST(ScanTest, SizeLimitIsInclusive) {
  TempDir dir;
  dir.write("exact.md", std::string(300000, 'a'));
  dir.write("over.md", std::string(300001, 'a'));
  Json graph = scan(dir.path());
  EXPECT_EQ(file_ids(graph), std::vector<std::string>{"exact.md"});
  // Content is cut to 24000 characters, not bytes.
  EXPECT_EQ(graph["nodes"][0]["content"].get<std::string>().size(), 24000u);
  EXPECT_EQ(graph["nodes"][0]["size"], 300000);
}

TEST(ScanTest, ContentCutCountsCodePoints) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 25000; ++i) text += "\xC3\xA9";  // 25000 characters, 50000 bytes
  dir.write("wide.md", text);
  Json graph = scan(dir.path());
  EXPECT_EQ(graph["nodes"][0]["content"].get<std::string>(), text.substr(0, 48000));
}

TEST(ScanTest, InvalidUtf8IsDroppedAndHashedClean) {
  TempDir dir;
  dir.write("a.md",
            "ab\xFF\xFE"
            "cd\r\nef\r");
  Json graph = scan(dir.path());
  EXPECT_EQ(graph["nodes"][0]["content"], "abcd\nef\n");
  EXPECT_EQ(graph["nodes"][0]["file_hash"], "682a4b60");
}

TEST(ScanTest, ExtensionsCompareInLowerCase) {
  TempDir dir;
  dir.write("README.MD", "x");
  dir.write("App.TSX", "x");
  Json graph = scan(dir.path());
  std::map<std::string, std::string> exts;
  for (const Json& n : graph["nodes"]) exts[n["id"]] = n["ext"];
  EXPECT_EQ(exts, (std::map<std::string, std::string>{{"App.TSX", ".tsx"}, {"README.MD", ".md"}}));
}

TEST(ScanTest, ReusesUnchangedFilesAndRecomputesTheRest) {
  TempDir dir;
  dir.write("same.py", "def keep_me():\n    pass\n");
  dir.write("changed.py", "def new_name():\n    pass\n");
  Json first = scan(dir.path());
  ExistingNodes existing;
  for (const Json& n : first["nodes"]) {
    if (n["kind"] != "file") continue;
    Json old = n;
    old["keywords"] = Json::array({"old-keyword"});
    old["summary"] = "old summary";
    if (n["id"] == "changed.py") old["file_hash"] = "00000000";
    existing[n["id"]] = old;
  }
  Json second = scan(dir.path(), existing);
  for (const Json& n : second["nodes"]) {
    if (n["id"] == "same.py") {
      EXPECT_EQ(n["keywords"], Json::array({"old-keyword"}));
      EXPECT_EQ(n["summary"], "old summary");
    } else if (n["id"] == "changed.py") {
      EXPECT_NE(n["summary"], "old summary");
      EXPECT_EQ(n["keywords"][0], "new_name");
    }
  }
  // Symbols are rebuilt for reused files too.
  EXPECT_EQ(second["symbol_count"], 2);
}

TEST(ScanTest, ReuseFillsMissingMembersWithDefaults) {
  TempDir dir;
  dir.write("a.md", "# A heading of some length\n");
  Json first = scan(dir.path());
  std::string hash = first["nodes"][0]["file_hash"];
  ExistingNodes existing{{"a.md", Json::object({{"file_hash", hash}, {"keywords", 7}})}};
  Json second = scan(dir.path(), existing);
  const Json& n = second["nodes"][0];
  EXPECT_EQ(n["id"], "a.md");
  EXPECT_EQ(n["kind"], "file");
  EXPECT_EQ(n["keywords"], Json::array());
  EXPECT_EQ(n["summary"], "");
  EXPECT_EQ(n["content"], "# A heading of some length\n");
}

TEST(ScanTest, DuplicateEdgesAreMergedInOrder) {
  TempDir dir;
  dir.write("m.py", "import os\nimport os\nimport sys\n");
  Json graph = scan(dir.path());
  EXPECT_EQ(graph["edges"], Json::parse(R"([{"from":"m.py","to":"os","rel":"imports"},
                                            {"from":"m.py","to":"sys","rel":"imports"}])"));
  EXPECT_EQ(graph["edge_count"], 2);
}

TEST(SymbolIndexTest, RepeatedIdsKeepFirstPlaceAndMissingMembersGetDefaults) {
  Json nodes = Json::parse(R"([
    {"id": "a.py", "kind": "file"},
    {"id": "a.py::f", "kind": "symbol", "line_start": 1, "line_end": 2, "body_hash": "h1", "confidence": "high", "path": "a.py"},
    {"id": "a.py::g", "kind": "symbol"},
    {"kind": "symbol", "line_start": 9},
    {"id": "", "kind": "symbol"},
    {"id": "a.py::f", "kind": "symbol", "line_start": 5, "line_end": 6, "body_hash": "h2", "confidence": null, "path": "a.py"}
  ])");
  EXPECT_EQ(common::dump_spaced(build_symbol_index(nodes)),
            "{\"a.py::f\": {\"line_start\": 5, \"line_end\": 6, \"body_hash\": \"h2\", \"confidence\": \"\", "
            "\"path\": \"a.py\"}, \"a.py::g\": {\"line_start\": 0, \"line_end\": 0, \"body_hash\": \"\", "
            "\"confidence\": \"\", \"path\": \"\"}}");
  EXPECT_EQ(build_symbol_index(Json::object()), Json::object());
}

TEST(DedupeEdgesTest, FirstOccurrenceWins) {
  std::vector<Edge> edges = {
      {"a", "b", "imports"}, {"a", "b", "requires"}, {"a", "b", "imports"}, {"b", "a", "imports"}};
  std::vector<Edge> expected = {{"a", "b", "imports"}, {"a", "b", "requires"}, {"b", "a", "imports"}};
  EXPECT_EQ(dedupe_edges(edges), expected);
}

TEST(ScanTest, DanglingLinkIsNotAFile) {
  TempDir dir;
  dir.write("open.md", "fine");
  fs::create_symlink(dir.path() / "missing.md", dir.path() / "dangling.md");
  EXPECT_EQ(file_ids(scan(dir.path())), std::vector<std::string>{"open.md"});
}

// What a scan gives each file: its nodes (the file, then its symbols) and the
// edges from it, in scan order. Files are keyed by id, so the order in which
// the directory listing returns them does not matter.
Json documents_by_file(const Json& graph) {
  Json by_file = Json::object();
  for (const Json& n : graph["nodes"]) {
    Json& entry = by_file[n["path"].get<std::string>()];
    if (entry.is_null()) entry = Json{{"nodes", Json::array()}, {"edges", Json::array()}};
    entry["nodes"].push_back(n);
  }
  for (const Json& e : graph["edges"]) {
    const std::string from = e["from"];
    if (by_file.contains(from)) by_file[from]["edges"].push_back(e);
  }
  return by_file;
}

// A file's document without its symbols: its file node and the edges from
// it other than "contains".
Json without_symbols(const Json& document) {
  Json out{{"nodes", Json::array()}, {"edges", Json::array()}};
  for (const Json& n : document["nodes"]) {
    if (n["kind"] != "symbol") out["nodes"].push_back(n);
  }
  for (const Json& e : document["edges"]) {
    if (e["rel"] != "contains") out["edges"].push_back(e);
  }
  return out;
}

// testdata/existing_languages holds a file of every extension scanned before
// C and C++ were; the golden file records, per file, what the scanner of
// that time wrote for it. Go files are left out of the golden file: their
// symbols and imports come from a parser now. Swift's symbols do too, so a
// Swift file is compared without them, and they are checked apart.
TEST(ScanTest, FilesOfEarlierLanguagesGiveTheSameDocumentsAsBefore) {
  const fs::path testdata = SURVEYOR_TESTDATA;
  std::optional<Json> golden =
      common::parse_json(common::read_file(testdata / "existing_languages.golden.json").value_or(""));
  ASSERT_TRUE(golden.has_value());
  const Json scanned = documents_by_file(scan(testdata / "existing_languages"));
  for (const auto& [file, expected] : golden->items()) {
    ASSERT_TRUE(scanned.contains(file)) << file;
    const Json& got = file.ends_with(".swift") ? without_symbols(scanned[file]) : scanned[file];
    EXPECT_EQ(common::dump_indented(got), common::dump_indented(expected)) << file;
  }
  EXPECT_EQ(scanned.size(), golden->size() + 1) << "one Go file besides the golden ones";
  std::vector<std::string> swift_symbols;
  for (const Json& n : scanned["Views/MainView.swift"]["nodes"]) {
    if (n["kind"] == "symbol") swift_symbols.push_back(n["name"]);
  }
  EXPECT_EQ(swift_symbols, (std::vector<std::string>{"MainView", "MainModel", "MainModel.increment"}));
}

TEST(ScanTest, CAndCppFilesGetSymbolsAndIncludes) {
  TempDir dir;
  dir.write("src/main.c", "#include \"util.h\"\nint main(void) { return 0; }\n");
  dir.write("src/util.h", "namespace u { struct Box { void open(); }; }\n");
  const Json graph = scan(dir.path());
  std::vector<std::string> symbols;
  for (const Json& n : graph["nodes"]) {
    if (n["kind"] == "symbol") symbols.push_back(n["id"]);
  }
  std::sort(symbols.begin(), symbols.end());
  EXPECT_EQ(symbols,
            (std::vector<std::string>{"src/main.c::main", "src/util.h::Box", "src/util.h::Box.open", "src/util.h::u"}));
  EXPECT_NE(std::find(graph["edges"].begin(), graph["edges"].end(),
                      Json{{"from", "src/main.c"}, {"to", "util.h"}, {"rel", "imports"}}),
            graph["edges"].end());
}

TEST(ScanTest, BinaryJunkWithScannableExtensionDoesNotCrash) {
  TempDir dir;
  std::string junk;
  for (int i = 0; i < 5000; ++i) junk += static_cast<char>((i * 131 + 7) % 256);
  dir.write("junk.ts", junk);
  Json graph = scan(dir.path());
  ASSERT_EQ(graph["file_count"], 1);
  EXPECT_FALSE(common::dump_indented(graph).empty());
}

}  // namespace
}  // namespace lumenfold::surveyor
