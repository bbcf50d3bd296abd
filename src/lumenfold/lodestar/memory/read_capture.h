#pragma once
// Turning a served read into memories: which query led to a file or symbol,
// and, for one read repeatedly, which other files travel with it.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_log.h"
#include "lumenfold/lodestar/memory/memory_scope.h"

namespace lumenfold::lodestar {

// Records the memories of one read, after the read itself was recorded in
// the action log `actions` (action_log.h). `file` is the reference the agent
// asked for (a path or "path::symbol"), `file_base` its file path, `query`
// the read's query and `qterms` its query terms (stored as tags). The
// memories are anchored to `file` when it names a symbol, else to
// `file_base`:
//   - a non-blank query upserts a "query_association" with content
//     "Queried during: <query>" (one per distinct query and anchor);
//   - when the anchor was read at least twice within the read-context
//     window, upserts the anchor's single "interaction_pattern", with
//     content "Frequently read with: <co-visited files>" or, without any,
//     "Repeatedly visited during recent work" (a later read merges into it
//     and keeps its first content).
// Each upsert loads and saves the store. Throws as ContextStore::save.
void capture_read_memory(const MemoryScope& scope, std::span<const LoggedAction> actions, std::string_view file,
                         std::string_view file_base, std::string_view query, const std::vector<std::string>& qterms);

}  // namespace lumenfold::lodestar
