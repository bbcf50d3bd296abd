#include "lumenfold/surveyor/scan_state.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

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

// A file's modification time, set to a moment in the past so that a scan
// trusts it (a time close to the scan is read again on the next one).
void set_mtime(const fs::path& path, int64_t seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

int64_t mtime_seconds(const fs::path& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mtim.tv_sec;
}

// Overwrites the start of `path` with `text` in place (same inode) and puts
// its times back as they were: a change its stamp does not show when the
// size stays the same.
void rewrite_keeping_stamp(const fs::path& path, const std::string& text) {
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  {
    std::ofstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out << text;
  }
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A project and the directory its documents go to, rescanned the way the
// surveyor command does it.
class Project {
 public:
  // Writes `relative` with a modification time of its own, well in the past.
  void write(const std::string& relative, const std::string& text) {
    set_mtime(dir_.write(relative, text), kLongAgo + ++writes_);
  }
  fs::path path(const std::string& relative) const { return dir_.path() / relative; }
  const fs::path& root() const { return dir_.path(); }

  fs::path graph_path() const { return out_.path() / "info_graph.json"; }
  fs::path index_path() const { return out_.path() / kSymbolIndexFileName; }
  fs::path state_path() const { return out_.path() / kScanStateFileName; }

  // Scans with what the previous scan left, writes the documents and the
  // state, and returns both documents as written.
  std::string rescan(const ScanOptions& options = {}) {
    const ScanDocuments docs =
        scan_documents(root(), load_previous_scan(root(), graph_path(), index_path(), state_path()), options);
    EXPECT_FALSE(write_graph_files(docs.graph, graph_path(), docs.index, index_path()));
    EXPECT_FALSE(write_scan_state(state_path(), root(), graph_path(), index_path(), docs.records));
    return docs.graph + "\n" + docs.index;
  }

  // What a scan from nothing gives: the graph as a document in memory
  // would be written, and the index built from its nodes.
  std::string fresh(unsigned jobs = 1) const {
    ScanOptions options;
    options.jobs = jobs;
    const ScanDocuments docs = scan_documents(root(), PreviousScan{}, options);
    const Json graph = scan(root());
    EXPECT_EQ(docs.graph, common::dump_indented(graph));
    EXPECT_EQ(docs.index, common::dump_spaced(build_symbol_index(graph["nodes"])));
    return docs.graph + "\n" + docs.index;
  }

 private:
  static constexpr int64_t kLongAgo = 1'600'000'000;
  TempDir dir_;
  TempDir out_;
  int64_t writes_ = 0;
};

std::string source_text(const std::string& ext, int variant) {
  const std::string n = std::to_string(variant);
  if (ext == ".py")
    return "import os\nfrom pkg import mod" + n + "\n\nclass Model" + n + ":\n    def run(self):\n        pass\n";
  if (ext == ".ts") return "import { a } from './a" + n + "';\nexport function handle" + n + "() {}\n";
  if (ext == ".go") return "package p\n\nimport \"fmt\"\n\nfunc (s *Server) Start" + n + "() {}\n";
  if (ext == ".cpp") return "#include \"x" + n + ".h\"\nnamespace n { void f" + n + "() {} }\n";
  return "# Notes " + n + "\nSee docs/guide" + n + ".md and src/a.py.\n";
}

TEST(ScanJobsTest, TheDocumentsDoNotDependOnTheNumberOfJobs) {
  Project project;
  const std::string exts[] = {".py", ".ts", ".go", ".cpp", ".md"};
  for (int i = 0; i < 120; ++i)
    project.write("d" + std::to_string(i % 7) + "/f" + std::to_string(i) + exts[i % 5], source_text(exts[i % 5], i));
  const std::string one = project.fresh(1);
  for (unsigned jobs : {2u, 3u, 8u}) EXPECT_EQ(project.fresh(jobs), one) << jobs << " jobs";
}

// Rescans through random edits, touches, renames, deletions and additions
// must each write what a scan from nothing writes.
TEST(ScanStateTest, EveryRescanEqualsAFreshScan) {
  Project project;
  const std::string exts[] = {".py", ".ts", ".go", ".cpp", ".md"};
  std::vector<std::string> files;
  for (int i = 0; i < 40; ++i) {
    files.push_back("src/m" + std::to_string(i) + exts[i % 5]);
    project.write(files.back(), source_text(exts[i % 5], i));
  }
  std::mt19937 random(7);
  ScanOptions two_jobs;
  two_jobs.jobs = 2;
  for (int round = 0; round < 30; ++round) {
    for (int change = 0; change < 4; ++change) {
      const size_t pick = random() % files.size();
      const std::string& file = files[pick];
      const std::string ext = fs::path(file).extension().string();
      switch (random() % 5) {
        case 0:  // new text
          project.write(file, source_text(ext, 1000 + static_cast<int>(random() % 1000)));
          break;
        case 1:  // the same text, written again
          project.write(file, common::read_file(project.path(file)).value_or(""));
          break;
        case 2: {  // renamed
          const std::string to = "moved/r" + std::to_string(round) + "_" + std::to_string(change) + ext;
          fs::create_directories(project.path("moved"));
          fs::rename(project.path(file), project.path(to));
          files[pick] = to;
          break;
        }
        case 3:  // deleted, and another added
          fs::remove(project.path(file));
          files[pick] = "new/n" + std::to_string(round) + "_" + std::to_string(change) + ext;
          project.write(files[pick], source_text(ext, round));
          break;
        default:  // only touched
          set_mtime(project.path(file), mtime_seconds(project.path(file)) + 1);
          break;
      }
    }
    EXPECT_EQ(project.rescan(round % 2 ? two_jobs : ScanOptions{}), project.fresh()) << "round " << round;
  }
}

// A state is trusted only with the graph it was written with, by this
// version of the scanner, for the same root: a symbol renamed in the graph
// behind the state's back (its stamp restored) shows whether the rescan
// reused it.
TEST(ScanStateTest, AStateOfAnotherVersionOrRootIsIgnored) {
  struct Case {
    const char* what;
    std::string key;
    Json value;
    bool reused;
  };
  const Case cases[] = {
      {"the state as written", "", nullptr, true},
      {"another scanner version", "scanner_version", kScannerVersion + 1, false},
      {"another root", "root", "/elsewhere", false},
      {"a graph written since", "graph", Json::array({0, 0, 0}), false},
  };
  for (const Case& c : cases) {
    Project project;
    project.write("a.py", "def alpha():\n    pass\n");
    project.rescan();
    // "alpha" -> "omega" in the graph, its stamp kept.
    std::string graph = common::read_file(project.graph_path()).value_or("");
    for (size_t at = graph.find("\"alpha\""); at != std::string::npos; at = graph.find("\"alpha\"", at)) {
      graph.replace(at, 7, "\"omega\"");
    }
    rewrite_keeping_stamp(project.graph_path(), graph);
    if (!c.key.empty()) {
      Json state = Json::parse(common::read_file(project.state_path()).value_or("{}"));
      state[c.key] = c.value;
      common::write_file_atomically(project.state_path(), state.dump());
    }
    // The file node's keywords come from the old node whenever the text's
    // hash matches; the symbol is the rescan's own unless it reused it.
    const std::string rescanned = project.rescan();
    EXPECT_EQ(rescanned.find("\"name\": \"omega\"") != std::string::npos, c.reused) << c.what;
    EXPECT_EQ(rescanned.find("\"name\": \"alpha\"") != std::string::npos, !c.reused) << c.what;
  }
}

// A change within the clock tick of the scan that saw the file, or one
// that keeps size, inode and modification time, is invisible to the stamp:
// the first is read again because its stamp was too recent to trust; the
// second only --full sees.
TEST(ScanStateTest, ChangesTheStampCannotShow) {
  Project project;
  project.write("old.py", "def first():\n    pass\n");
  const fs::path recent = project.path("recent.py");
  {
    std::ofstream out(recent);
    out << "def early():\n    pass\n";
  }
  project.rescan();
  rewrite_keeping_stamp(recent, "def later():\n    pass\n");
  rewrite_keeping_stamp(project.path("old.py"), "def final():\n    pass\n");

  const std::string rescanned = project.rescan();
  EXPECT_NE(rescanned.find("later"), std::string::npos) << "a recent stamp is not trusted";
  EXPECT_NE(rescanned.find("first"), std::string::npos) << "an old stamp is";
  ScanOptions full;
  full.full = true;
  EXPECT_EQ(project.rescan(full), project.fresh());
}

}  // namespace
}  // namespace lumenfold::surveyor
