#include "lumenfold/lodestar/graph/symbol_index_cache.h"

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/graph/json_dom_builder.h"

namespace lumenfold::lodestar {

std::shared_ptr<const SymbolIndex> SymbolIndexCache::get(const std::filesystem::path& path) {
  // A missing file (or one that cannot be stat'ed) leaves the cache alone:
  // it is used again if a file with the same time reappears.
  std::optional<int64_t> mtime = common::mtime_ns(path);
  if (!mtime) return std::make_shared<const SymbolIndex>();
  if (index_ && *mtime == mtime_ns_ && path == path_) return index_;

  // A file that is not a JSON object is remembered as the empty index, so
  // it is not parsed again until it changes.
  std::optional<std::string> text = common::read_file(path);
  if (!text) return std::make_shared<const SymbolIndex>();
  std::optional<common::Json> doc = parse_document(*text);
  text.reset();
  index_ = std::make_shared<const SymbolIndex>(doc ? std::move(*doc) : common::Json::object());
  mtime_ns_ = *mtime;
  path_ = path;
  return index_;
}

}  // namespace lumenfold::lodestar
