#include "lumenfold/lodestar/memory/upsert.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/memory/memory_entry.h"
#include "lumenfold/lodestar/memory/memory_identity.h"
#include "lumenfold/lodestar/memory/memory_merge.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// Merges `normalized` into the first of `entries` with its identity, or
// appends it; returns the stored entry.
Json upsert_into(std::vector<Json>& entries, Json normalized, double now_epoch) {
  MemoryIdentity key = memory_identity(normalized);
  for (Json& stored : entries) {
    if (memory_identity(stored) != key) continue;
    stored = merge_memory_entries(stored, normalized, now_epoch);
    return stored;
  }
  entries.push_back(normalized);
  return normalized;
}

}  // namespace

std::optional<Json> upsert_context_memory(ContextStore& store, const Json& entry, const SymbolLookup& symbols,
                                          double now_epoch) {
  return upsert_context_memories(store, {entry}, symbols, now_epoch).front();
}

std::vector<std::optional<Json>> upsert_context_memories(ContextStore& store, const std::vector<Json>& entries,
                                                         const SymbolLookup& symbols, double now_epoch) {
  std::vector<std::optional<Json>> stored;
  std::vector<Json> current;
  bool changed = false;
  for (const Json& entry : entries) {
    std::optional<Json> normalized = normalize_memory_entry(entry, symbols, now_epoch);
    if (!normalized) {
      stored.push_back(std::nullopt);
      continue;
    }
    // Where a separate call would save and load the store again.
    current = changed ? ContextStore::saved_and_loaded(std::move(current), symbols, now_epoch)
                      : store.take(symbols, now_epoch);
    stored.push_back(upsert_into(current, std::move(*normalized), now_epoch));
    changed = true;
  }
  if (changed) store.save(std::move(current), now_epoch, ContextStore::Entries::kNormalized);
  return stored;
}

}  // namespace lumenfold::lodestar
