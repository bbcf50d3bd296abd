#pragma once
// Bringing the stored memories in line with the code they are anchored to.

#include <memory>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/memory/context_store.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"

namespace lumenfold::lodestar {

inline constexpr std::string_view kStaleBodyChanged = "symbol body changed";
inline constexpr std::string_view kStaleSymbolRemoved = "symbol removed";

// For every entry anchored to a symbol: fills an empty "symbol_hash" or
// "file_path" from the index; flags the entry stale ("symbol body changed"
// when its stored hash differs from the index's, "symbol removed" when the
// index lacks the symbol) unless it is already stale for that reason. Saves
// once when anything changed, then records one "stale_marker" memory per
// newly stale entry through upsert_context_memory. Returns the loaded and
// updated entries (without the markers of this call). Entries without
// "symbol_id" are never changed. Throws as ContextStore::save.
std::vector<common::Json> reconcile_context_store(ContextStore& store, const SymbolLookup& symbols, double now_epoch);

// The same, for readers: when nothing changes, nothing is written or
// copied and the result is the store's cached snapshot, so a reconcile
// before every search costs one stat and one lookup per anchored entry.
std::shared_ptr<const std::vector<common::Json>> reconcile_context_snapshot(ContextStore& store,
                                                                            const SymbolLookup& symbols,
                                                                            double now_epoch);

}  // namespace lumenfold::lodestar
