#pragma once
// The retrieval cache ("retrieval_cache.json" in the data directory):
// retrieval results kept across calls and restarts, served while young
// enough and while none of their files has changed.
//
// Document: {"entries": {cache key: entry}}; other top-level members are
// kept as they are. Entry, as graph_retrieve stores it: {"created_epoch":
// Unix seconds, "files": [file references], "mtimes_ns": {reference:
// nanosecond mtime of its file, -1 when it could not be examined},
// "result": the retrieval result}. Written with a two-space indent, ASCII
// only, member order kept. A file that exists but is not a JSON object
// loads as the empty cache and is never overwritten: a save first renames
// it to "retrieval_cache.json.corrupt-<unix seconds>" (state_file.h:
// set_aside_damaged_state_file).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "lumenfold/common/json.h"
#include "lumenfold/common/json_file_cache.h"

namespace lumenfold::common {
class StateFileSyncer;
}

namespace lumenfold::lodestar {

// The modification time of `path` (symbolic links followed) in whole
// nanoseconds, or -1 when it cannot be examined.
int64_t file_mtime_ns(const std::filesystem::path& path);

// The same for the file of reference `ref` (a file id, or a symbol id
// whose part before "::" is used) under `project_root`, resolved; -1 when
// it cannot be resolved or examined. What an entry stores and checks.
int64_t reference_mtime_ns(const std::filesystem::path& project_root, std::string_view ref);

class RetrievalCache {
 public:
  // `ttl_sec`: the lifetime of an entry; an entry exactly that old is still
  // valid. `parsed`, when given, keeps the parsed file between calls (the
  // server's state owns it); without it every call reads the file.
  // `syncer`, when given, syncs saves to disk in the background; without it
  // a save is on disk when it returns.
  RetrievalCache(std::filesystem::path file, int64_t ttl_sec, common::JsonFileCache* parsed = nullptr,
                 common::StateFileSyncer* syncer = nullptr);

  // The document with "entries" guaranteed to be an object that keeps, in
  // stored order, only the object entries no older than the lifetime at
  // `now_seconds` (an entry without a time, or whose time is not an integer,
  // is dropped). A missing, unreadable or unparsable file, or one that is not
  // an object, gives {"entries": {}}. The file is not rewritten.
  common::Json load(int64_t now_seconds) const;

  // The entry stored under `key`, as load() would hold it, or nullopt.
  // Copies that entry only.
  std::optional<common::Json> find(std::string_view key, int64_t now_seconds) const;

  // Writes `cache` whole, atomically, creating the directory, after setting
  // a damaged file aside (named from `now_seconds`). Throws
  // std::runtime_error when it cannot write, or cannot move a damaged file.
  void save(common::Json cache, int64_t now_seconds) const;

  // Whether `entry` may be served: it has a positive "created_epoch" no older
  // than the lifetime, "files" is a list of non-empty texts and "mtimes_ns"
  // an object, and every file (the part before "::" of a symbol reference),
  // joined to `project_root` and resolved, exists with exactly the stored
  // time (looked up under the full reference).
  bool entry_valid(const common::Json& entry, const std::filesystem::path& project_root, int64_t now_seconds) const;

  // Drops every entry whose "files" names one of `changed_files`, a symbol
  // of one, or any reference with the same file (the part before "::");
  // saves the cache, even when nothing was dropped (expired entries go too).
  // Returns the number of entries dropped. Throws as save.
  int64_t invalidate_files(std::span<const std::string> changed_files, int64_t now_seconds) const;

  const std::filesystem::path& file() const { return file_; }

 private:
  // The file's document, or null when it is missing or not JSON.
  std::shared_ptr<const common::Json> read() const;
  bool expired(const common::Json& entry, int64_t now_seconds) const;

  std::filesystem::path file_;
  int64_t ttl_sec_;
  common::JsonFileCache* parsed_;
  common::StateFileSyncer* syncer_;
};

}  // namespace lumenfold::lodestar
