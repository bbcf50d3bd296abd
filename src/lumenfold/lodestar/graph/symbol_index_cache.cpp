#include "lumenfold/lodestar/graph/symbol_index_cache.h"

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/graph/json_dom_builder.h"

namespace lumenfold::lodestar {

std::shared_ptr<const SymbolIndex> SymbolIndexCache::get(const std::filesystem::path& path) {
  // A missing file (or one that cannot be stat'ed) leaves the cache alone:
  // it is used again if a file with the same stamp reappears.
  std::optional<common::FileStamp> stamp = common::file_stamp(path);
  if (!stamp) return std::make_shared<const SymbolIndex>();
  if (index_ && stamp == stamp_ && path == path_) return index_;

  // Text that is not JSON is tried again on the next call. JSON that is
  // not an object is remembered as the empty index until the file changes.
  std::optional<std::string> text = common::read_file(path);
  if (!text) return std::make_shared<const SymbolIndex>();
  std::optional<common::Json> doc = parse_document(*text);
  text.reset();
  if (!doc) return std::make_shared<const SymbolIndex>();
  index_ = std::make_shared<const SymbolIndex>(std::move(*doc));
  stamp_ = stamp;
  path_ = path;
  return index_;
}

}  // namespace lumenfold::lodestar
