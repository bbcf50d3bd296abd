#pragma once
// Whole-file reads, crash-safe whole-file writes and single-write appends.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "lumenfold/common/result.h"
#include "lumenfold/common/unique_fd.h"

namespace lumenfold::common {

// `text` made absolute with symbolic links resolved as far as the path
// exists (the rest is normalised lexically, without a trailing "/"). The
// empty text names the current working directory. Used for the project root
// and wherever a root is compared with it.
std::filesystem::path resolve_path(const std::string& text);

// The file's bytes, or nullopt when it cannot be opened or read.
std::optional<std::string> read_file(const std::filesystem::path& path);

// Writes `bytes` to a unique temporary file beside `target`, syncs it and
// renames it over `target`, so a crash leaves either the old or the new
// document, never a mix. On failure the temporary file is removed, the old
// file is untouched and the error text is returned.
std::optional<std::string> write_file_atomically(const std::filesystem::path& target, std::string_view bytes);

// What write_by_exchange did when it did not fail.
enum class ExchangeOutcome {
  kExchanged,     // `target` holds the new bytes, `spare` the previous version
  kNotExchanged,  // nothing written: the caller must write another way
};
struct ExchangeWrite {
  ExchangeOutcome outcome;
  UniqueFd file;  // kExchanged: the written file (now `target`), to sync and close
};

// Writes `bytes` into `spare` (created when missing) and exchanges the
// names of `spare` and `target` atomically, without syncing: `target` then
// holds the new bytes and `spare` the previous version. Writers of the same
// spare, in this process or another, are serialised by a lock on it.
// kNotExchanged when `target` is not an existing regular file, `spare` is
// not a plain file of its own, or the file system cannot exchange names;
// the error text when writing failed.
Result<ExchangeWrite> write_by_exchange(const std::filesystem::path& target, const std::filesystem::path& spare,
                                        std::string_view bytes);

// Empties `spare` once `current_fd`, the version of `target` written last,
// is on disk: the previous version in the spare is then no longer needed
// to stand in for a torn target, and the next write need not free its
// blocks. Does nothing when another writer has exchanged the two files
// since, when the spare has another name, or when another writer holds its lock.
void empty_superseded_spare(const std::filesystem::path& target, const std::filesystem::path& spare, int current_fd);

// Removes from `dir` the temporary files of write_file_atomically
// ("<name>.tmp-XXXXXX") not modified for `min_age`: what a writer killed
// between creating and renaming its file left behind. Younger ones may
// belong to a writer still at work and stay. Returns how many were removed.
int remove_stale_temporary_files(const std::filesystem::path& dir, std::chrono::seconds min_age);

// Appends `line` + "\n" with one write() on an O_APPEND descriptor, creating
// the file when missing. Returns false on failure.
bool append_line(const std::filesystem::path& path, std::string_view line);

// Modification time in nanoseconds since the epoch, or nullopt when the file
// cannot be stat'ed (follows symbolic links).
std::optional<int64_t> mtime_ns(const std::filesystem::path& path);

// What tells one version of a file from the next without reading it: the
// nanosecond modification time, the size and the inode (an atomic
// replacement within the clock's resolution still changes the inode).
struct FileStamp {
  int64_t mtime_ns = 0;
  int64_t size = 0;
  uint64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};

// The file's stamp, or nullopt when it cannot be stat'ed (follows links).
std::optional<FileStamp> file_stamp(const std::filesystem::path& path);

}  // namespace lumenfold::common
