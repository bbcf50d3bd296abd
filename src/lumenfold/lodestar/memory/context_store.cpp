#include "lumenfold/lodestar/memory/context_store.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_document.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/memory/epoch_time.h"
#include "lumenfold/lodestar/memory/memory_entry.h"
#include "lumenfold/lodestar/memory/memory_prune.h"

// Implementation details
//
// The cache holds the normalised entries of the last read together with the
// file's stamp (nanosecond modification time, size, inode) at that read; any
// write, ours or
// another process's, changes the time and forces a new read. A save of
// entries that are all normalised keeps them as the cache of the version it
// wrote; any other save forgets the cache, so entries that the next read
// completes (an id made for an entry that has none) come from the file as
// written.
//
// A damaged file is the one case where a plain "read as empty, write the
// new state" would silently destroy a user's memories. So a save checks what
// it is about to replace: when the file's stamp is one at which we saw (or
// wrote) a readable array, nothing needs checking; otherwise the file is
// read once more, and if it still is not an array it is renamed aside.

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

// How a damaged store file is called when it is set aside.
constexpr std::string_view kStoreLabel = "context store";

std::vector<Json> object_items(const Json& items) {
  std::vector<Json> out;
  for (const Json& item : items) {
    if (item.is_object()) out.push_back(item);
  }
  return out;
}

}  // namespace

ContextStore::ContextStore(fs::path file, common::StateFileSyncer* syncer) : file_(std::move(file)), syncer_(syncer) {}
ContextStore::~ContextStore() = default;

std::optional<common::FileStamp> ContextStore::stamp() const { return common::file_stamp(file_); }

std::optional<Json> ContextStore::read_array(bool* from_spare) const {
  std::optional<Json> doc = common::read_state_file(file_, from_spare);
  if (!doc || !doc->is_array()) return std::nullopt;
  return doc;
}

std::shared_ptr<std::vector<Json>> ContextStore::normalize_all(const Json& items, const SymbolLookup& symbols,
                                                               double now_epoch) const {
  auto entries = std::make_shared<std::vector<Json>>();
  entries->reserve(items.size());
  for (const Json& item : items) {
    if (std::optional<Json> entry = normalize_memory_entry(item, symbols, now_epoch)) {
      entries->push_back(std::move(*entry));
    }
  }
  return entries;
}

std::vector<Json> ContextStore::load(const SymbolLookup& symbols, double now_epoch) {
  return *snapshot(symbols, now_epoch);
}

std::vector<Json> ContextStore::take(const SymbolLookup& symbols, double now_epoch) {
  std::shared_ptr<const std::vector<Json>> entries = snapshot(symbols, now_epoch);
  // Held by the cache and by `entries` alone: no snapshot is out.
  if (entries != cached_ || cached_.use_count() != 2) return *entries;
  entries.reset();
  std::vector<Json> out = std::move(*cached_);
  forget_cache();
  return out;
}

void ContextStore::forget_cache() {
  cached_.reset();
  cached_stamp_.reset();
}

std::shared_ptr<const std::vector<Json>> ContextStore::snapshot(const SymbolLookup& symbols, double now_epoch) {
  std::optional<common::FileStamp> version = stamp();
  std::error_code ec;
  if (!version && !fs::exists(file_, ec)) {
    last_load_ = StoreLoad::kMissing;
    return std::make_shared<const std::vector<Json>>();
  }
  if (cached_ && version && version == cached_stamp_) {
    last_load_ = StoreLoad::kCached;
    return cached_;
  }
  // The document this store wrote last needs no second parse.
  std::optional<Json> items;
  // A file torn by a power loss reads as the previous version; the torn
  // file itself is still set aside at the next save.
  bool from_spare = false;
  if (written_ && version && version == written_stamp_) {
    items = std::move(*written_);
  } else {
    items = read_array(&from_spare);
  }
  written_.reset();
  if (items && items->size() > kMaxContextEntries) {
    if (!from_spare) sound_stamp_ = version;  // an array: nothing to set aside
    save(object_items(*items), now_epoch);
    version = stamp();
    items = read_array();
  }
  if (!items) {
    last_load_ = StoreLoad::kCorrupt;
    return std::make_shared<const std::vector<Json>>();
  }
  std::shared_ptr<std::vector<Json>> entries = normalize_all(*items, symbols, now_epoch);
  if (!from_spare) sound_stamp_ = version;
  // Without a stamp there is nothing to validate a cached copy against.
  if (version) {
    cached_ = entries;
    cached_stamp_ = version;
  }
  last_load_ = StoreLoad::kLoaded;
  return entries;
}

void ContextStore::set_aside_if_damaged(double now_epoch) {
  std::error_code ec;
  if (!fs::exists(file_, ec)) return;
  std::optional<common::FileStamp> version = stamp();
  if (version && version == sound_stamp_) return;
  if (!common::is_damaged_state_file(file_, common::StateShape::kArray)) return;
  common::set_aside_damaged_state_file(file_, whole_seconds(now_epoch), kStoreLabel);
}

std::vector<Json> ContextStore::saved_and_loaded(std::vector<Json> entries, const SymbolLookup& symbols,
                                                 double now_epoch) {
  std::vector<Json> out = prune_context_entries(std::move(entries), whole_seconds(now_epoch));
  for (Json& entry : out) {
    if (normalizes_to_itself(entry)) continue;
    if (std::optional<Json> again = normalize_memory_entry(entry, symbols, now_epoch)) entry = std::move(*again);
  }
  return out;
}

size_t ContextStore::save(std::vector<Json> entries, double now_epoch, Entries form) {
  forget_cache();
  written_.reset();
  std::error_code ec;
  if (file_.has_parent_path()) fs::create_directories(file_.parent_path(), ec);
  if (ec) throw std::runtime_error("cannot create " + file_.parent_path().string() + ": " + ec.message());
  set_aside_if_damaged(now_epoch);

  Json doc = Json::array();
  Json::array_t& items = doc.get_ref<Json::array_t&>();
  const size_t given = entries.size();
  items = prune_context_entries(std::move(entries), whole_seconds(now_epoch));
  const size_t pruned = given - items.size();
  common::save_json_document(file_, doc, syncer_);
  sound_stamp_ = stamp();
  if (!sound_stamp_) return pruned;  // nothing to tell this version from the next
  // Normalised entries are what a read of the file would give, save the few
  // that the next normalisation still completes.
  if (form == Entries::kNormalized && std::all_of(items.begin(), items.end(), normalizes_to_itself)) {
    cached_ = std::make_shared<std::vector<Json>>(std::move(items));
    cached_stamp_ = sound_stamp_;
  } else {
    written_ = std::make_unique<Json>(std::move(doc));
    written_stamp_ = sound_stamp_;
  }
  return pruned;
}

}  // namespace lumenfold::lodestar
