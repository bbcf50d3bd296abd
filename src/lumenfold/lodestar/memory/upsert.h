#pragma once
// Storing one memory: merged into the stored memory with the same identity,
// or appended.

#include <optional>

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

}  // namespace lumenfold::lodestar
