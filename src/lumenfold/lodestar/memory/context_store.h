#pragma once
// The context store file ("context-store.json" in the data directory): a
// JSON array of memory entries, oldest first, written with a two-space
// indent, ASCII only, without a trailing line break. Entries on disk need
// not be normalised; each is normalised when the file is read.
//
// One ContextStore per server, owned by the server state. It keeps the
// normalised entries of the last read, valid while the file's modification
// time (in nanoseconds), size and inode are unchanged, so the many loads of one tool call
// parse the file at most once after each save. Not thread-safe: the server
// runs one tool call at a time.
//
// A file that exists but cannot be read, is not JSON or is not an array
// loads as an empty store, or, when it is not JSON, as the previous version
// kept in its spare file if that one is sound (state_file.h). It is never overwritten: the next save first
// renames it to "context-store.json.corrupt-<unix seconds>" so the user's
// memories can be recovered by hand.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"

namespace lumenfold::common {
class StateFileSyncer;
}

namespace lumenfold::lodestar {

enum class StoreLoad {
  kMissing,  // no file: the empty store
  kCached,   // the file is unchanged since the last read
  kLoaded,   // read and normalised
  kCorrupt,  // unreadable, not JSON or not an array: the empty store
};

class ContextStore {
 public:
  // `syncer` syncs what it saves to disk in the background (it must outlive
  // the store); without one a save is on disk when it returns.
  explicit ContextStore(std::filesystem::path file, common::StateFileSyncer* syncer = nullptr);
  ~ContextStore();
  ContextStore(const ContextStore&) = delete;
  ContextStore& operator=(const ContextStore&) = delete;

  // The stored entries, normalised (memory_entry.h), as a new list the caller
  // may change. Never fails. `symbols` is asked only when the file is
  // actually read. A file of more than 200 entries is rewritten pruned
  // before it is read (only its object items are kept). `now_epoch` is the
  // current Unix time in seconds with its fraction.
  std::vector<common::Json> load(const SymbolLookup& symbols, double now_epoch);

  // The same entries as load, shared and read-only: no copy is made while
  // the file is unchanged, so a cached call costs one stat. The snapshot
  // stays valid (and unchanged) for as long as the caller holds it.
  std::shared_ptr<const std::vector<common::Json>> snapshot(const SymbolLookup& symbols, double now_epoch);

  // The same entries as load, for a caller that is about to change and save
  // them: the cached list is handed over rather than copied when nobody
  // else holds it, so a load before the next save reads the file again.
  std::vector<common::Json> take(const SymbolLookup& symbols, double now_epoch);

  // What the entries handed to save are.
  enum class Entries {
    kAsGiven,     // anything: normalised when the file is next read
    kNormalized,  // each one normalised (or merged from normalised ones)
  };

  // Prunes `entries` (memory_prune.h) and writes them, replacing the file
  // atomically and creating its directory. Normalised entries become the
  // cached ones when a read of the file would give them back unchanged
  // (memory_entry.h: normalizes_to_itself); otherwise the cache is forgotten. A file on disk that does not hold a JSON
  // array is first moved aside. Throws std::runtime_error when the directory or the file cannot be written, or a
  // damaged file cannot be moved aside. Returns how many of `entries` the
  // pruning dropped.
  size_t save(std::vector<common::Json> entries, double now_epoch, Entries form = Entries::kAsGiven);

  // What a save of normalised `entries` followed by a load would give,
  // without writing anything: pruned, and each entry that a read would
  // still complete normalised again. For callers that make several changes
  // in one write.
  static std::vector<common::Json> saved_and_loaded(std::vector<common::Json> entries, const SymbolLookup& symbols,
                                                    double now_epoch);

  const std::filesystem::path& file() const { return file_; }
  // What the last load met.
  StoreLoad last_load() const { return last_load_; }

 private:
  // What identifies one version of the file. File times are only as fine
  // as the kernel's clock tick, so two writes within one tick can share a
  // time; the size and the inode (a new one for every atomic replace) tell
  // most such versions apart.
  // nullopt when the file cannot be examined.
  std::optional<common::FileStamp> stamp() const;
  // The file's entries parsed as a JSON array, or nullopt. A torn file
  // gives the previous version's (see state_file.h) and sets *from_spare.
  std::optional<common::Json> read_array(bool* from_spare = nullptr) const;
  std::shared_ptr<std::vector<common::Json>> normalize_all(const common::Json& items, const SymbolLookup& symbols,
                                                           double now_epoch) const;
  void set_aside_if_damaged(double now_epoch);

  std::filesystem::path file_;
  common::StateFileSyncer* syncer_;
  void forget_cache();

  std::shared_ptr<std::vector<common::Json>> cached_;
  std::optional<common::FileStamp> cached_stamp_;
  // The version of the file last known to hold a readable array (read by us
  // or written by us): a save over it needs no further check.
  std::optional<common::FileStamp> sound_stamp_;
  // The array this store wrote last (when its entries were not known to be
  // normalised), with the stamp the file got, kept until the next load takes
  // it instead of reading the file again.
  std::unique_ptr<common::Json> written_;
  std::optional<common::FileStamp> written_stamp_;
  StoreLoad last_load_ = StoreLoad::kMissing;
};

}  // namespace lumenfold::lodestar
