#include "lumenfold/common/json_file_cache.h"

#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace lumenfold::common {

namespace fs = std::filesystem;

std::shared_ptr<const Json> JsonFileCache::get(const fs::path& path) {
  std::optional<FileStamp> stamp = file_stamp(path);
  if (doc_ && stamp && stamp == stamp_ && path == path_) return doc_;
  doc_.reset();
  if (!stamp) return nullptr;
  std::optional<std::string> text = read_file(path);
  if (!text) return nullptr;
  std::optional<Json> doc = parse_json(*text);
  if (!doc) return nullptr;
  path_ = path;
  stamp_ = stamp;
  doc_ = std::make_shared<const Json>(std::move(*doc));
  return doc_;
}

void JsonFileCache::remember(const fs::path& path, Json doc) {
  path_ = path;
  stamp_ = file_stamp(path);
  doc_ = stamp_ ? std::make_shared<const Json>(std::move(doc)) : nullptr;
}

}  // namespace lumenfold::common
