#include "lumenfold/lodestar/memory/upsert.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/memory/memory_entry.h"
#include "lumenfold/lodestar/memory/memory_identity.h"
#include "lumenfold/lodestar/memory/memory_merge.h"

namespace lumenfold::lodestar {

using common::Json;

std::optional<Json> upsert_context_memory(ContextStore& store, const Json& entry, const SymbolLookup& symbols,
                                          double now_epoch) {
  std::optional<Json> normalized = normalize_memory_entry(entry, symbols, now_epoch);
  if (!normalized) return std::nullopt;
  std::vector<Json> entries = store.take(symbols, now_epoch);
  MemoryIdentity key = memory_identity(*normalized);
  for (Json& stored : entries) {
    if (memory_identity(stored) != key) continue;
    stored = merge_memory_entries(stored, *normalized, now_epoch);
    Json merged = stored;
    store.save(std::move(entries), now_epoch, ContextStore::Entries::kNormalized);
    return merged;
  }
  entries.push_back(*normalized);
  store.save(std::move(entries), now_epoch, ContextStore::Entries::kNormalized);
  return normalized;
}

}  // namespace lumenfold::lodestar
