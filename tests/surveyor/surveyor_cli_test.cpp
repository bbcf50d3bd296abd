// Runs the surveyor program as a user would.

#include <sys/wait.h>

#include <cstdio>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/json.h"
#include "test_support/temp_dir.h"

namespace lumenfold::surveyor {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

struct RunResult {
  int status;
  std::string out;
};

// Runs the program in `cwd` with `args`, capturing standard output and
// standard error together, unless `stderr_file` names a file for stderr.
RunResult run_surveyor(const fs::path& cwd, const std::string& args, const std::string& stderr_file = "&1") {
  std::string cmd = "cd '" + cwd.string() + "' && '" SURVEYOR_BINARY "' " + args + " 2>" + stderr_file;
  FILE* pipe = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(SurveyorCliTest, PrintsThreeLinesAndWritesBothDocuments) {
  TempDir dir;
  dir.write("proj/a.py", "import os\n\ndef run():\n    pass\n");
  RunResult r = run_surveyor(dir.path(), "--root proj --out out/g.json");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "Scanned: 1 files, 1 symbols, 2 edges\n"
            "Wrote: out/g.json\n"
            "Symbol index: out/symbol_index.json (1 symbols)\n");
  auto graph = common::parse_json(dir.read("out/g.json"));
  ASSERT_TRUE(graph.has_value());
  EXPECT_EQ((*graph)["root"], (dir.path() / "proj").string());
  EXPECT_EQ(dir.read("out/symbol_index.json").substr(0, 14), "{\"a.py::run\": ");
}

TEST(SurveyorCliTest, SymbolIndexPathFollowsTheOutputTextAsTyped) {
  TempDir dir;
  dir.write("proj/a.md", "hello");
  EXPECT_EQ(run_surveyor(dir.path(), "--root proj --out g.json").out,
            "Scanned: 1 files, 0 symbols, 0 edges\nWrote: g.json\nSymbol index: symbol_index.json (0 symbols)\n");
  EXPECT_EQ(run_surveyor(dir.path(), "--root proj --out ./g.json").out,
            "Scanned: 1 files, 0 symbols, 0 edges\nWrote: ./g.json\nSymbol index: ./symbol_index.json (0 symbols)\n");
  EXPECT_EQ(dir.read("symbol_index.json"), "{}");
}

TEST(SurveyorCliTest, ProgressGoesToStderrAndLeavesTheRestAlone) {
  TempDir dir;
  dir.write("proj/a.py", "def run():\n    pass\n");
  dir.write("proj/b.md", "# B\n");
  RunResult plain = run_surveyor(dir.path(), "--root proj --out plain.json");
  RunResult watched = run_surveyor(dir.path(), "--root proj --out plain.json --progress", "progress.txt");
  EXPECT_EQ(watched.status, 0);
  EXPECT_EQ(watched.out, plain.out);
  const std::string progress = dir.read("progress.txt");
  EXPECT_TRUE(progress.starts_with("surveyor: counting files under " + (dir.path() / "proj").string() + "\n"));
  EXPECT_NE(progress.find("\nsurveyor: 0/2 files ("), std::string::npos);
  EXPECT_NE(progress.find("\nsurveyor: scanned 2 files in "), std::string::npos);
}

TEST(SurveyorCliTest, DefaultOutputPath) {
  TempDir dir;
  dir.write("a.md", "hello");
  RunResult r = run_surveyor(dir.path(), "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(fs::exists(dir.path() / "tessel-dashboard/data/info_graph.json"));
  EXPECT_TRUE(fs::exists(dir.path() / "tessel-dashboard/data/symbol_index.json"));
}

TEST(SurveyorCliTest, RescanIsIdenticalAndCorruptPreviousGraphMeansFullScan) {
  TempDir dir;
  dir.write("p/a.ts", "export function loadUser() {\n  return 1;\n}\n");
  dir.write("p/b.md", "# Notes about the project\n");
  ASSERT_EQ(run_surveyor(dir.path(), "--root p --out g.json").status, 0);
  std::string first = dir.read("g.json");
  ASSERT_EQ(run_surveyor(dir.path(), "--root p --out g.json").status, 0);
  EXPECT_EQ(dir.read("g.json"), first);
  dir.write("g.json", "{broken");
  ASSERT_EQ(run_surveyor(dir.path(), "--root p --out g.json").status, 0);
  EXPECT_EQ(dir.read("g.json"), first);
}

TEST(SurveyorCliTest, MissingRootIsAnErrorAndWritesNothing) {
  TempDir dir;
  dir.write("g.json", "previous");
  RunResult r = run_surveyor(dir.path(), "--root nowhere --out g.json");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("nowhere"), std::string::npos);
  EXPECT_EQ(dir.read("g.json"), "previous");
  EXPECT_FALSE(fs::exists(dir.path() / "symbol_index.json"));
}

TEST(SurveyorCliTest, UsageErrorsAndHelp) {
  TempDir dir;
  RunResult bad = run_surveyor(dir.path(), "--bogus");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.out.find("--bogus"), std::string::npos);
  RunResult help = run_surveyor(dir.path(), "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Scan project and build information graph JSON."), std::string::npos);
  EXPECT_NE(help.out.find("Project root to scan."), std::string::npos);
  EXPECT_NE(help.out.find("Output JSON path."), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path() / "tessel-dashboard"));
}

}  // namespace
}  // namespace lumenfold::surveyor
