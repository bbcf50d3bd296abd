#include "lumenfold/common/file_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lumenfold/common/unique_fd.h"

namespace lumenfold::common {

namespace fs = std::filesystem;

namespace {

// Between the target's name and mkstemp's six random characters.
constexpr std::string_view kTemporarySuffix = ".tmp-";

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Whether `path` (a link not followed) still names the file `file`
// describes: another writer may have exchanged or replaced it since.
bool names_file(const fs::path& path, const struct stat& file) {
  struct stat named {};
  return ::lstat(path.c_str(), &named) == 0 && named.st_ino == file.st_ino && named.st_dev == file.st_dev;
}

std::string errno_text(const char* what, const fs::path& path) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

// Permissions of documents we create: readable by the user's other tools.
constexpr mode_t kDocumentMode = 0644;

}  // namespace

std::optional<std::string> read_file(const fs::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::string out;
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::optional<std::string> write_file_atomically(const fs::path& target, std::string_view bytes) {
  fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::string tmp = (dir / (target.filename().string() + std::string(kTemporarySuffix) + "XXXXXX")).string();
  UniqueFd fd(::mkstemp(tmp.data()));
  if (!fd.valid()) return errno_text("cannot create a temporary file for", target);
  std::optional<std::string> error;
  if (::fchmod(fd.get(), kDocumentMode) != 0) {
    error = errno_text("cannot set permissions of", tmp);
  } else if (!write_all(fd.get(), bytes)) {
    error = errno_text("cannot write", tmp);
  } else if (::fsync(fd.get()) != 0) {
    error = errno_text("cannot sync", tmp);
  } else if (!fd.close()) {
    error = errno_text("cannot close", tmp);
  } else if (::rename(tmp.c_str(), target.c_str()) != 0) {
    error = errno_text("cannot rename over", target);
  }
  if (error) ::unlink(tmp.c_str());
  return error;
}

fs::path resolve_path(const std::string& text) {
  std::error_code ec;
  fs::path absolute = text.empty() ? fs::current_path(ec) : fs::absolute(text, ec);
  if (ec) absolute = fs::path(text);
  fs::path resolved = fs::weakly_canonical(absolute, ec);
  if (ec) resolved = absolute.lexically_normal();
  // "a/b/.." normalises to "a/"; the trailing empty name would make the
  // path compare unequal to "a".
  if (!resolved.has_filename() && resolved.has_relative_path()) resolved = resolved.parent_path();
  return resolved;
}

namespace {

ExchangeWrite not_exchanged() { return {ExchangeOutcome::kNotExchanged, UniqueFd()}; }

}  // namespace

Result<ExchangeWrite> write_by_exchange(const fs::path& target, const fs::path& spare, std::string_view bytes) {
  // A retry follows only a lost race with another writer of the same spare.
  for (int attempt = 0; attempt < 4; ++attempt) {
    struct stat target_st {};
    if (::lstat(target.c_str(), &target_st) != 0 || !S_ISREG(target_st.st_mode)) return not_exchanged();
    UniqueFd fd(::open(spare.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kDocumentMode));
    if (!fd.valid()) return not_exchanged();
    if (::flock(fd.get(), LOCK_EX) != 0) return not_exchanged();
    // The writer who held the lock before us may have exchanged the file we
    // opened into the target's place: writing it now would write the target.
    struct stat held {};
    if (::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode)) return not_exchanged();
    if (!names_file(spare, held)) continue;
    // A spare linked elsewhere too would be written through that name.
    if (held.st_nlink != 1) return not_exchanged();
    // Emptied first, not written over: after a power loss the file then
    // holds a prefix of the new bytes, never old bytes mixed with new ones
    // (a mix could still parse, and would be read as a sound version).
    // (Usually done already, off the caller's path: empty_superseded_spare.)
    if (held.st_size != 0 && ::ftruncate(fd.get(), 0) != 0) return Error{errno_text("cannot truncate", spare)};
    if (::fchmod(fd.get(), kDocumentMode) != 0) return Error{errno_text("cannot set permissions of", spare)};
    if (!write_all(fd.get(), bytes)) return Error{errno_text("cannot write", spare)};
    if (::renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
      return ExchangeWrite{ExchangeOutcome::kExchanged, std::move(fd)};
    }
    if (errno == ENOENT) continue;  // the target went away meanwhile
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return Error{errno_text("cannot exchange", target)};
    ::unlink(spare.c_str());  // this file system cannot exchange names
    return not_exchanged();
  }
  return not_exchanged();
}

void empty_superseded_spare(const fs::path& target, const fs::path& spare, int current_fd) {
  UniqueFd fd(::open(spare.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
  // Never wait for the lock: its holder may be a written version waiting
  // in the same queue as us, and a writer that holds it empties the spare
  // itself.
  if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
  // Under the spare's lock no writer can exchange it: check that it is
  // still the spare, has no other name, and is the version before the
  // target we synced.
  struct stat held {};
  struct stat current {};
  if (::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode) || held.st_nlink != 1 || held.st_size == 0) return;
  if (!names_file(spare, held)) return;
  if (::fstat(current_fd, &current) != 0 || !names_file(target, current)) return;
  ::ftruncate(fd.get(), 0);  // a failure leaves the writer to empty it
}

int remove_stale_temporary_files(const fs::path& dir, std::chrono::seconds min_age) {
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  int removed = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    const size_t suffix = name.rfind(kTemporarySuffix);
    // mkstemp's six random characters end the name.
    if (suffix == std::string::npos || suffix == 0 || name.size() - suffix != kTemporarySuffix.size() + 6) continue;
    std::error_code entry_ec;
    if (!entry.is_regular_file(entry_ec)) continue;
    const fs::file_time_type modified = entry.last_write_time(entry_ec);
    if (entry_ec || now - modified < min_age) continue;
    if (fs::remove(entry.path(), entry_ec)) ++removed;
  }
  return removed;
}

bool append_line(const fs::path& path, std::string_view line) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kDocumentMode));
  if (!fd.valid()) return false;
  std::string buf;
  buf.reserve(line.size() + 1);
  buf.append(line);
  buf += '\n';
  // One write() so concurrent appenders never interleave inside a line.
  ssize_t n;
  do {
    n = ::write(fd.get(), buf.data(), buf.size());
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(buf.size()) && fd.close();
}

std::optional<int64_t> mtime_ns(const fs::path& path) {
  std::optional<FileStamp> stamp = file_stamp(path);
  if (!stamp) return std::nullopt;
  return stamp->mtime_ns;
}

std::optional<FileStamp> file_stamp(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
                   static_cast<int64_t>(st.st_size), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace lumenfold::common
