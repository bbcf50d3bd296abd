#pragma once
// The symbol index file, parsed once per file version.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/graph/symbol_index.h"

namespace lumenfold::lodestar {

class SymbolIndexCache {
 public:
  SymbolIndexCache() = default;
  SymbolIndexCache(const SymbolIndexCache&) = delete;
  SymbolIndexCache& operator=(const SymbolIndexCache&) = delete;

  // The symbol index in `path` (normally Settings::symbol_index_file()).
  // Never null: a missing file, or one that is unreadable, not JSON or not
  // an object, gives an empty index. The file is parsed again only when its
  // modification time, size or inode changed, so a cached call costs one
  // stat. Every caller shares the same read-only index.
  std::shared_ptr<const SymbolIndex> get(const std::filesystem::path& path);

 private:
  std::filesystem::path path_;
  std::optional<common::FileStamp> stamp_;
  std::shared_ptr<const SymbolIndex> index_;
};

}  // namespace lumenfold::lodestar
