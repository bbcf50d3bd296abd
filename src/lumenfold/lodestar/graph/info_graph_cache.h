#pragma once
// The information graph of the current project, parsed once per file
// version and held without the file texts.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// The "root" of an information graph, resolved (resolve_path), when it
// names another directory than `project_root`; nullopt for a graph without
// a root, or with one that is not a non-empty text.
std::optional<std::filesystem::path> other_project_root(const common::Json& graph,
                                                        const std::filesystem::path& project_root);

class InfoGraphCache {
 public:
  InfoGraphCache() = default;
  InfoGraphCache(const InfoGraphCache&) = delete;
  InfoGraphCache& operator=(const InfoGraphCache&) = delete;

  // The document in `graph_file` with every node's "content" member
  // removed, or null when the file is missing, cannot be read or parsed, is
  // not an object, has a "nodes" member that is not a list, or - when
  // `locked_root` is given - names in its "root" a directory other than
  // `*locked_root` (that last case also empties the cache). A failed read otherwise leaves the cache as
  // it was. The file is parsed again only when its modification time, size or
  // inode changed; a cached call costs one stat. Every caller shares
  // the same read-only document, which stays valid while it is held.
  std::shared_ptr<const common::Json> get(const std::filesystem::path& graph_file,
                                          const std::optional<std::filesystem::path>& locked_root);

 private:
  std::filesystem::path path_;
  std::optional<common::FileStamp> stamp_;
  std::shared_ptr<const common::Json> graph_;
};

}  // namespace lumenfold::lodestar
