#include "lumenfold/surveyor/walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <string>

#include "lumenfold/common/text_case.h"
#include "lumenfold/surveyor/file_id.h"

namespace lumenfold::surveyor {

namespace fs = std::filesystem;

namespace {

// Tool, dependency, build and editor directories: large, generated or not
// the project's own code. ".tessel" is the server's data directory.
constexpr std::array<std::string_view, 14> kSkipDirs = {
    ".git",  ".beads", ".beads-hooks", "node_modules", "vendor", "dist",  "build",
    ".next", ".idea",  ".vscode",      "__pycache__",  "venv",   ".venv", ".tessel"};

// Only these are read at all, compared in lower case. The order is the
// order languages were added in; new ones go at the end (.php, long read by
// its own extractor but not walked to, joined just before the C family).
constexpr std::string_view kScannableExts[] = {
    ".go", ".py", ".js", ".jsx", ".ts",  ".tsx", ".swift", ".cs",  ".xaml", ".json", ".yaml", ".yml", ".md", ".php",
    ".c",  ".h",  ".cc", ".cpp", ".cxx", ".hh",  ".hpp",   ".hxx", ".rs",   ".java", ".kt",   ".kts", ".rb",
};

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

struct Listing {
  std::vector<std::string> files;
  std::vector<bool> file_is_plain;  // known not to be a symbolic link
  std::vector<std::string> dirs;
};

// One listing of `dir` in file-system order, split into directories
// (following links) and everything else. A listing error leaves it empty.
Listing list_directory(const fs::path& dir) {
  Listing listing;
  std::unique_ptr<DIR, DirCloser> handle(opendir(dir.c_str()));
  if (!handle) return listing;
  while (dirent* entry = readdir(handle.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // The entry's type saves a stat() per entry; links and file systems
    // that do not report types still need one.
    bool is_dir = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      is_dir = stat((dir / name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    if (is_dir) {
      listing.dirs.push_back(std::move(name));
    } else {
      listing.file_is_plain.push_back(entry->d_type == DT_REG);
      listing.files.push_back(std::move(name));
    }
  }
  return listing;
}

bool is_link(const fs::path& p) {
  struct stat st {};
  return lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool is_regular(const fs::path& p) {
  struct stat st {};
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Compared by whole components, so "/p/proj2" is not within "/p/proj".
// Both paths must be fully resolved. Files and directories share this one test.
bool is_within(const fs::path& inner, const fs::path& outer) {
  auto [o, i] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return o == outer.end();
}

class Walker {
 public:
  explicit Walker(const fs::path& resolved_root) : resolved_root_(resolved_root) {}

  void walk(const fs::path& dir, const fs::path& resolved_dir) {
    ancestors_.push_back(resolved_dir);
    Listing listing = list_directory(dir);
    for (size_t i = 0; i < listing.files.size(); ++i) {
      fs::path p = dir / listing.files[i];
      if (!should_scan(p) || !(listing.file_is_plain[i] || is_regular(p))) continue;
      fs::path resolved = resolved_dir / listing.files[i];
      if (!listing.file_is_plain[i]) {
        std::error_code ec;
        resolved = fs::weakly_canonical(p, ec);
        // A link out of the root would put a file the project does not own
        // (say /etc/passwd) into the graph, where graph_read refuses it.
        if (ec || !is_within(resolved, resolved_root_)) continue;
      }
      files_.push_back({std::move(p), std::move(resolved)});
    }
    for (const std::string& name : listing.dirs) {
      if (is_skipped_dir(name)) continue;
      fs::path sub = dir / name;
      fs::path resolved_sub = resolved_dir / name;
      if (is_link(sub)) {
        std::error_code ec;
        resolved_sub = fs::canonical(sub, ec);
        if (ec || !is_within(resolved_sub, resolved_root_)) continue;
        // A link back to a directory we are inside of would loop forever.
        if (std::find(ancestors_.begin(), ancestors_.end(), resolved_sub) != ancestors_.end()) continue;
      }
      walk(sub, resolved_sub);
    }
    ancestors_.pop_back();
  }

  std::vector<WalkedFile> take_files() { return std::move(files_); }

 private:
  fs::path resolved_root_;
  std::vector<fs::path> ancestors_;  // resolved directories of the current descent
  std::vector<WalkedFile> files_;
};

}  // namespace

bool is_skipped_dir(std::string_view name) {
  return std::find(kSkipDirs.begin(), kSkipDirs.end(), name) != kSkipDirs.end();
}

bool should_scan(const fs::path& path) {
  std::string generic = path.generic_string();
  if (generic.find("/venv/") != std::string::npos || generic.find("/.venv/") != std::string::npos) return false;
  std::string ext = common::to_lower(extension_of(path));
  return std::find(std::begin(kScannableExts), std::end(kScannableExts), ext) != std::end(kScannableExts);
}

std::vector<WalkedFile> walk_files_resolved(const fs::path& root, fs::path* resolved_root) {
  std::error_code ec;
  *resolved_root = fs::weakly_canonical(fs::absolute(root), ec);
  Walker walker(*resolved_root);
  walker.walk(root, *resolved_root);
  return walker.take_files();
}

std::vector<fs::path> walk_files(const fs::path& root) {
  fs::path resolved_root;
  std::vector<fs::path> paths;
  for (WalkedFile& f : walk_files_resolved(root, &resolved_root)) paths.push_back(std::move(f.path));
  return paths;
}

}  // namespace lumenfold::surveyor
