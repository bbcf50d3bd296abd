#include "lumenfold/lodestar/frontend/data_dir_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>

#include "lumenfold/common/data_dir_files.h"
#include "lumenfold/common/file_io.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;

namespace {

// "pid P, port N" from the holder's lock file, or "" while it has not
// written them yet.
std::string holder_of(const fs::path& file) {
  std::istringstream text(common::read_file(file).value_or(""));
  long pid = 0;
  long port = 0;
  if (!(text >> pid >> port)) return "";
  return " (pid " + std::to_string(pid) + ", port " + std::to_string(port) + ")";
}

}  // namespace

common::Result<DataDirLock> DataDirLock::acquire(const fs::path& data_dir) {
  fs::path file = data_dir / common::kServerLockFileName;
  common::UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.valid()) return common::Error{"cannot open " + file.string() + ": " + std::strerror(errno)};
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return common::Error{"cannot lock " + file.string() + ": " + std::strerror(errno)};
    return common::Error{"another lodestar" + holder_of(file) + " is serving " + data_dir.string() +
                         "; stop it first, or use its port"};
  }
  return DataDirLock(std::move(fd));
}

void DataDirLock::record(int port) {
  std::string text = std::to_string(::getpid()) + " " + std::to_string(port) + "\n";
  // Best effort: the lock itself is what keeps a second server out.
  if (::ftruncate(fd_.get(), 0) == 0) (void)::pwrite(fd_.get(), text.data(), text.size(), 0);
}

}  // namespace lumenfold::lodestar
