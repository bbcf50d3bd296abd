#include "lumenfold/lodestar/memory/reconcile.h"

#include <string>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/graph/file_ref.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/epoch_time.h"
#include "lumenfold/lodestar/memory/memory_kind.h"
#include "lumenfold/lodestar/memory/upsert.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

struct Staleness {
  std::string_view reason;
  std::string_view marker_content;
};
constexpr Staleness kBodyChanged{kStaleBodyChanged, "Marked stale because symbol body changed"};
constexpr Staleness kRemoved{kStaleSymbolRemoved, "Marked stale because symbol removed"};

Json list_copy(const Json& v) { return v.is_array() ? v : Json::array(); }

// A memory that records, beside the entry, that it went stale and why. It
// is anchored like the entry and born stale with the same reason, so later
// runs never mark it again.
Json stale_marker(const Json& entry, const std::string& symbol_id, const Staleness& why, double now_epoch) {
  Json marker = Json::object();
  marker["kind"] = memory_kind_name(MemoryKind::kStaleMarker);
  marker["content"] = std::string(why.marker_content);
  marker["files"] = list_copy(common::member_or_null(entry, "files"));
  marker["file_path"] = field_text(entry, "file_path");
  marker["symbol_id"] = symbol_id;
  marker["symbol_hash"] = field_text(entry, "symbol_hash");
  marker["created_at"] = iso_time(now_epoch);
  marker["created_epoch"] = whole_seconds(now_epoch);
  marker["updated_at"] = iso_time(now_epoch);
  marker["stale"] = true;
  marker["stale_reason"] = std::string(why.reason);
  marker["observed_queries"] = list_copy(common::member_or_null(entry, "observed_queries"));
  marker["evidence"] = Json{{"source_kind", field_text(entry, "kind")}};
  return marker;
}

// Whether `entry` is already stale for `why`.
bool already_stale(const Json& entry, const Staleness& why) {
  return common::is_truthy(common::member_or_null(entry, "stale")) && field_text(entry, "stale_reason") == why.reason;
}

// The anchor completions an existing symbol brings: the index's hash for an
// entry without one, the index's path for an entry without a file.
void complete_from_index(Json& entry, const std::string& symbol_id, const Json& record) {
  std::string current = field_text(record, "body_hash");
  if (field_text(entry, "symbol_hash").empty() && !current.empty()) entry["symbol_hash"] = current;
  if (field_text(entry, "file_path").empty()) {
    const Json& path = common::member_or_null(record, "path");
    entry["file_path"] = common::is_truthy(path) ? common::made_text(path) : std::string(file_part(symbol_id));
  }
}

struct EntryUpdate {
  Json entry;
  const Staleness* went_stale = nullptr;
};

// The reconciled form of `entry`, or nullopt when it stays as it is.
std::optional<EntryUpdate> reconcile_entry(const Json& entry, const SymbolLookup& symbols, double now_epoch) {
  std::string symbol_id = field_text(entry, "symbol_id");
  if (symbol_id.empty()) return std::nullopt;
  const Json* record = symbol_record(symbols, symbol_id);
  bool exists = record != nullptr && !record->empty();
  const Staleness* why = &kRemoved;
  std::optional<EntryUpdate> update;
  if (exists) {
    std::string current = field_text(*record, "body_hash");
    bool needs_hash = field_text(entry, "symbol_hash").empty() && !current.empty();
    if (needs_hash || field_text(entry, "file_path").empty()) {
      update = EntryUpdate{entry};
      complete_from_index(update->entry, symbol_id, *record);
    }
    std::string stored = field_text(update ? update->entry : entry, "symbol_hash");
    why = !stored.empty() && !current.empty() && stored != current ? &kBodyChanged : nullptr;
  }
  if (why == nullptr || already_stale(entry, *why)) return update;
  if (!update) update = EntryUpdate{entry};
  update->entry["stale"] = true;
  update->entry["stale_reason"] = std::string(why->reason);
  update->entry["updated_at"] = iso_time(now_epoch);
  update->went_stale = why;
  return update;
}

}  // namespace

std::shared_ptr<const std::vector<Json>> reconcile_context_snapshot(ContextStore& store, const SymbolLookup& symbols,
                                                                    double now_epoch) {
  std::shared_ptr<const std::vector<Json>> entries = store.snapshot(symbols, now_epoch);
  std::vector<Json> updated;  // a copy, made at the first change
  std::vector<Json> markers;
  for (size_t i = 0; i < entries->size(); ++i) {
    std::optional<EntryUpdate> update = reconcile_entry((*entries)[i], symbols, now_epoch);
    if (!update) continue;
    if (updated.empty()) updated = *entries;
    if (update->went_stale != nullptr) {
      markers.push_back(
          stale_marker(update->entry, field_text(update->entry, "symbol_id"), *update->went_stale, now_epoch));
    }
    updated[i] = std::move(update->entry);
  }
  if (updated.empty()) return entries;
  store.save(updated, now_epoch);
  upsert_context_memories(store, markers, symbols, now_epoch);
  return std::make_shared<const std::vector<Json>>(std::move(updated));
}

std::vector<Json> reconcile_context_store(ContextStore& store, const SymbolLookup& symbols, double now_epoch) {
  return *reconcile_context_snapshot(store, symbols, now_epoch);
}

}  // namespace lumenfold::lodestar
