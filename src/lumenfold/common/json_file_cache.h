#pragma once
// One JSON file parsed once per version: the parsed document is kept with
// the file's stamp and served again, shared and read-only, while the stamp
// is unchanged. A change made by anyone (another process, an editor) gives
// a new stamp and a new parse. Not thread-safe.

#include <filesystem>
#include <memory>
#include <optional>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"

namespace lumenfold::common {

class JsonFileCache {
 public:
  JsonFileCache() = default;
  JsonFileCache(const JsonFileCache&) = delete;
  JsonFileCache& operator=(const JsonFileCache&) = delete;

  // The document in `path` (a leading byte-order mark skipped), or null
  // when the file is missing, unreadable or not JSON.
  std::shared_ptr<const Json> get(const std::filesystem::path& path);

  // Takes `doc` as the content of `path`, which this process just wrote,
  // so the next get() needs no parse.
  void remember(const std::filesystem::path& path, Json doc);

 private:
  std::filesystem::path path_;
  std::optional<FileStamp> stamp_;
  std::shared_ptr<const Json> doc_;
};

}  // namespace lumenfold::common
