#pragma once
// A fresh directory per test, removed with everything in it when the test
// ends.

#include <filesystem>
#include <string>
#include <string_view>

namespace lumenfold::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` to `relative`, creating parent directories.
  std::filesystem::path write(const std::string& relative, std::string_view bytes) const;
  // The bytes of `relative` ("" when missing).
  std::string read(const std::string& relative) const;

 private:
  std::filesystem::path path_;
};

}  // namespace lumenfold::testing
