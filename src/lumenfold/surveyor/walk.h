#pragma once
// Which files a scan reads: the directory walk and its pruning rules.

#include <filesystem>
#include <string_view>
#include <vector>

namespace lumenfold::surveyor {

// Whether a directory with this exact name is never descended into.
bool is_skipped_dir(std::string_view name);

// Whether the file at `path` is scannable: its path has no "/venv/" or
// "/.venv/" component and its lower-cased extension is a scannable one.
bool should_scan(const std::filesystem::path& path);

// The scannable regular files under `root`, top-down: a directory's files
// in listing order, then its retained subdirectories depth-first in listing
// order. Links, to files and to directories alike, are followed only when
// they resolve inside the root; a link that resolves outside it is skipped.
// A directory that resolves to one of its own ancestors is not entered again.
// Unlistable directories and untestable files are skipped.
std::vector<std::filesystem::path> walk_files(const std::filesystem::path& root);

// A walked file with its fully resolved path, which the walk knows from the
// resolved directory it was found in, so callers need not resolve it again.
struct WalkedFile {
  std::filesystem::path path;
  std::filesystem::path resolved;
};

// walk_files with the resolved paths; `resolved_root` receives the root
// resolved.
std::vector<WalkedFile> walk_files_resolved(const std::filesystem::path& root, std::filesystem::path* resolved_root);

}  // namespace lumenfold::surveyor
