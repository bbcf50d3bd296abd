#include "lumenfold/lodestar/memory/reconcile.h"

#include <cmath>
#include <string>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/graph/text_utils.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
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
  marker["kind"] = "stale_marker";
  marker["content"] = std::string(why.marker_content);
  marker["files"] = list_copy(field_or_null(entry, "files"));
  marker["file_path"] = field_text(entry, "file_path");
  marker["symbol_id"] = symbol_id;
  marker["symbol_hash"] = field_text(entry, "symbol_hash");
  marker["created_at"] = iso_time(now_epoch);
  marker["created_epoch"] = static_cast<int64_t>(std::floor(now_epoch));
  marker["updated_at"] = iso_time(now_epoch);
  marker["stale"] = true;
  marker["stale_reason"] = std::string(why.reason);
  marker["observed_queries"] = list_copy(field_or_null(entry, "observed_queries"));
  marker["evidence"] = Json{{"source_kind", field_text(entry, "kind")}};
  return marker;
}

// Flags `entry` stale for `why` unless it already is, for that reason.
// Returns whether it changed.
bool mark_stale(Json& entry, const Staleness& why, double now_epoch) {
  if (common::is_truthy(field_or_null(entry, "stale")) && field_text(entry, "stale_reason") == why.reason) {
    return false;
  }
  entry["stale"] = true;
  entry["stale_reason"] = std::string(why.reason);
  entry["updated_at"] = iso_time(now_epoch);
  return true;
}

// Completes the anchor of an entry whose symbol exists; returns the
// staleness to record, if the body changed. Sets `changed` on any update.
const Staleness* check_existing_symbol(Json& entry, const std::string& symbol_id, const Json& record,
                                       bool& changed) {
  std::string current = field_text(record, "body_hash");
  std::string stored = field_text(entry, "symbol_hash");
  if (stored.empty() && !current.empty()) {
    entry["symbol_hash"] = stored = current;
    changed = true;
  }
  if (field_text(entry, "file_path").empty()) {
    const Json& path = field_or_null(record, "path");
    entry["file_path"] = common::is_truthy(path) ? common::made_text(path) : std::string(file_part(symbol_id));
    changed = true;
  }
  return !stored.empty() && !current.empty() && stored != current ? &kBodyChanged : nullptr;
}

}  // namespace

std::vector<Json> reconcile_context_store(ContextStore& store, const SymbolLookup& symbols, double now_epoch) {
  std::vector<Json> entries = store.load(symbols, now_epoch);
  std::vector<Json> markers;
  bool changed = false;
  for (Json& entry : entries) {
    std::string symbol_id = field_text(entry, "symbol_id");
    if (symbol_id.empty()) continue;
    const Json* record = symbol_record(symbols, symbol_id);
    const Staleness* why = &kRemoved;
    if (record != nullptr && !record->empty()) why = check_existing_symbol(entry, symbol_id, *record, changed);
    if (why == nullptr || !mark_stale(entry, *why, now_epoch)) continue;
    changed = true;
    markers.push_back(stale_marker(entry, symbol_id, *why, now_epoch));
  }
  if (changed) store.save(entries, now_epoch);
  for (const Json& marker : markers) upsert_context_memory(store, marker, symbols, now_epoch);
  return entries;
}

}  // namespace lumenfold::lodestar
