#include "lumenfold/surveyor/walk.h"

#include <algorithm>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/surveyor/file_id.h"
#include "lumenfold/surveyor/scan.h"
#include "test_support/temp_dir.h"

namespace lumenfold::surveyor {
namespace {

namespace fs = std::filesystem;
using common::Json;
using testing::TempDir;

std::vector<std::string> relative_walk(const fs::path& root) {
  std::vector<std::string> out;
  for (const fs::path& p : walk_files(root)) out.push_back(p.lexically_relative(root).generic_string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(ShouldScanTest, ExtensionsAndVirtualEnvironments) {
  struct Case {
    const char* path;
    bool scan;
  } cases[] = {
      {"/p/a.py", true},        {"/p/A.PY", true},        {"/p/README.MD", true},
      {"/p/x.yml", true},       {"/p/x.xaml", true},      {"/p/x.php", true},
      {"/p/x.txt", false},      {"/p/.md", false},        {"/p/noext", false},
      {"/p/a.", false},         {"/p/a.tar.json", true},  {"/p/venv/a.py", false},
      {"/p/.venv/a.py", false}, {"/p/myvenv/a.py", true}, {"/home/u/venv/app/a.py", false},
      {"/p/a.c", true},         {"/p/a.h", true},         {"/p/a.cc", true},
      {"/p/a.cpp", true},       {"/p/a.cxx", true},       {"/p/a.hh", true},
      {"/p/a.hpp", true},       {"/p/A.HXX", true},       {"/p/a.c++", false},
      {"/p/a.rs", true},        {"/p/A.java", true},      {"/p/a.kt", true},
      {"/p/a.kts", true},       {"/p/a.rb", true},        {"/p/a.rlib", false},
  };
  for (const Case& c : cases) EXPECT_EQ(should_scan(c.path), c.scan) << c.path;
}

TEST(FileIdTest, ExtensionRules) {
  EXPECT_EQ(extension_of("dir.d/file"), "");
  EXPECT_EQ(extension_of("a/b.Swift"), ".Swift");
  EXPECT_EQ(extension_of(".hidden"), "");
  EXPECT_EQ(extension_of("x.tar.gz"), ".gz");
}

TEST(WalkTest, SkipsToolDirectoriesAtEveryDepthButNotTheRoot) {
  TempDir dir;
  fs::path root = dir.path() / "build";  // the root's own name does not matter
  dir.write("build/a.py", "");
  dir.write("build/src/dist/b.py", "");
  dir.write("build/src/node_modules/c.js", "");
  dir.write("build/src/Build/d.py", "");
  dir.write("build/.tessel/info_graph.json", "");
  dir.write("build/src/e.ts", "");
  EXPECT_EQ(relative_walk(root), (std::vector<std::string>{"a.py", "src/Build/d.py", "src/e.ts"}));
}

TEST(WalkTest, TakesADirectorysFilesBeforeItsSubdirectories) {
  TempDir dir;
  dir.write("sub/deep.py", "");
  dir.write("top.py", "");
  std::vector<fs::path> files = walk_files(dir.path());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].filename(), "top.py");
  EXPECT_EQ(files[1].filename(), "deep.py");
}

TEST(WalkTest, FollowsLinksInsideTheRootOnly) {
  TempDir dir;
  dir.write("proj/lib/util.py", "x = 1\n");
  dir.write("proj-outside/secret.py", "y = 2\n");
  fs::create_directory_symlink(dir.path() / "proj/lib", dir.path() / "proj/alias");
  fs::create_directory_symlink(dir.path() / "proj-outside", dir.path() / "proj/out");
  EXPECT_EQ(relative_walk(dir.path() / "proj"), (std::vector<std::string>{"alias/util.py", "lib/util.py"}));
  // Ids come from resolved paths, so both nodes carry the same id.
  Json graph = scan(dir.path() / "proj");
  ASSERT_EQ(graph["file_count"], 2);
  EXPECT_EQ(graph["nodes"][0]["id"], "lib/util.py");
  EXPECT_EQ(graph["nodes"][1]["id"], "lib/util.py");
}

TEST(WalkTest, LinkCyclesAreEnteredOnce) {
  TempDir dir;
  dir.write("a/f.py", "");
  fs::create_directory_symlink(dir.path(), dir.path() / "a/back_to_root");
  fs::create_directory_symlink(dir.path() / "a", dir.path() / "a/self");
  EXPECT_EQ(relative_walk(dir.path()), (std::vector<std::string>{"a/f.py"}));
}

TEST(WalkTest, LinkToSiblingIsFollowedEachTime) {
  TempDir dir;
  dir.write("shared/s.py", "");
  fs::create_directory_symlink(dir.path() / "shared", dir.path() / "one");
  fs::create_directory_symlink(dir.path() / "shared", dir.path() / "two");
  EXPECT_EQ(relative_walk(dir.path()), (std::vector<std::string>{"one/s.py", "shared/s.py", "two/s.py"}));
}

TEST(WalkTest, UnreadableRootGivesNothing) {
  TempDir dir;
  EXPECT_TRUE(walk_files(dir.path() / "does-not-exist").empty());
}

TEST(FileIdTest, RelativeInsideAndDotDotOutside) {
  TempDir dir;
  fs::path root = dir.path() / "proj";
  dir.write("proj/src/auth.ts", "");
  dir.write("other/x.py", "");
  fs::create_symlink(dir.path() / "other/x.py", root / "link.py");
  EXPECT_EQ(rel(root / "src/auth.ts", root), "src/auth.ts");
  EXPECT_EQ(rel(root / "src/../src/auth.ts", root), "src/auth.ts");
  EXPECT_EQ(rel(root / "link.py", root), "../other/x.py");
}

TEST(WalkTest, FollowsFileLinksInsideTheRootOnly) {
  TempDir dir;
  dir.write("proj/a.md", "local");
  dir.write("proj/docs/guide.md", "guide");
  dir.write("proj-outside/b.md", "outside");
  struct Link {
    const char* name;
    fs::path target;
  } links[] = {
      {"proj/b.md", dir.path() / "proj-outside/b.md"},    // absolute, outside
      {"proj/up.md", "../proj-outside/b.md"},             // relative, outside
      {"proj/docs/twice.md", "../../proj-outside/b.md"},  // from a subdirectory
      {"proj/chain.md", "b.md"},                          // a link to a link outside
      {"proj/guide.md", "docs/guide.md"},                 // inside
      {"proj/docs/back.md", dir.path() / "proj/a.md"},    // absolute, inside
  };
  for (const Link& l : links) fs::create_symlink(l.target, dir.path() / l.name);
  EXPECT_EQ(relative_walk(dir.path() / "proj"),
            (std::vector<std::string>{"a.md", "docs/back.md", "docs/guide.md", "guide.md"}));
  Json graph = scan(dir.path() / "proj");
  std::vector<std::string> ids;
  for (const Json& n : graph["nodes"]) ids.push_back(n["id"]);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<std::string>{"a.md", "a.md", "docs/guide.md", "docs/guide.md"}));
}

TEST(WalkTest, FileLinkToAPrefixSiblingOfTheRootIsOutside) {
  TempDir dir;
  dir.write("proj/a.md", "local");
  dir.write("proj2/b.md", "sibling");
  fs::create_symlink(dir.path() / "proj2/b.md", dir.path() / "proj/b.md");
  EXPECT_EQ(relative_walk(dir.path() / "proj"), (std::vector<std::string>{"a.md"}));
}

}  // namespace
}  // namespace lumenfold::surveyor
