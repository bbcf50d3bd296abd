#pragma once
// Storing memories: each merged into the stored memory with the same
// identity, or appended.

#include <optional>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/memory/context_store.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"

namespace lumenfold::lodestar {

// Normalises `entry`; merges it into the first stored entry with the same
// identity (memory_identity.h), or appends it; saves the store (which
// prunes) and returns the entry handed to the save. nullopt, and nothing
// stored, when `entry` is not an object or has no content. The returned
// entry may still be pruned away (an entry older than all others of a full
// group). Throws as ContextStore::save.
std::optional<common::Json> upsert_context_memory(ContextStore& store, const common::Json& entry,
                                                  const SymbolLookup& symbols, double now_epoch);

// Upserts `entries` in turn with the outcome of as many upsert_context_memory
// calls, each seeing the store as the one before left it (pruned, and read
// back), but writes the store once, at the end. Returns what each call
// would return.
std::vector<std::optional<common::Json>> upsert_context_memories(ContextStore& store,
                                                                 const std::vector<common::Json>& entries,
                                                                 const SymbolLookup& symbols, double now_epoch);

}  // namespace lumenfold::lodestar
