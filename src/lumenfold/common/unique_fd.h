#pragma once
// Owns one open file descriptor and closes it when destroyed.

#include <unistd.h>

#include <utility>

namespace lumenfold::common {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up to the caller, who closes it.
  int release() { return std::exchange(fd_, -1); }
  // Closes now and reports whether close succeeded (it can report a
  // delayed write error). True when nothing was held.
  bool close() {
    if (fd_ < 0) return true;
    int rc = ::close(std::exchange(fd_, -1));
    return rc == 0;
  }
  // Closes the descriptor held, if any, and holds `fd` instead.
  void reset(int fd = -1) {
    close();
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace lumenfold::common
