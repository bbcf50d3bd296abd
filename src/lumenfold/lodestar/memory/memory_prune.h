#pragma once
// The caps that keep the context store small and current.

#include <cstdint>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// At most this many entries are stored.
inline constexpr size_t kMaxContextEntries = 200;
// Query associations and interaction patterns describe recent habits; they
// are dropped this long (14 days) after their creation.
inline constexpr int64_t kHabitMemoryLifetimeSec = 1209600;

// The entries that survive, oldest first: habits older than the lifetime
// are dropped (one without a time always is); then, newest first by
// "created_epoch" (stable for equal times), each group (kind, symbol_id,
// file_path) keeps at most its kind's cap (query_association 4, decision 3,
// edit_observation 2, interaction_pattern 1, stale_marker 1, others 6), up
// to 200 entries; the taken list is returned reversed. `now_seconds` is the
// current Unix time in whole seconds.
std::vector<common::Json> prune_context_entries(std::vector<common::Json> entries, int64_t now_seconds);

}  // namespace lumenfold::lodestar
