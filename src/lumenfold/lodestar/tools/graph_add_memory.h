#pragma once

#include <string>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphAddMemoryDescription[] =
    "Add a memory entry to the context store with automatic pruning.\n"
    "\n"
    "        Use this instead of writing context-store.json directly. It ensures\n"
    "        the store stays healthy and never bloats beyond its cap.\n"
    "\n"
    "        Args:\n"
    "            type: Entry kind \xE2\x80\x94 decision | task | next | fact | blocker\n"
    "            content: One sentence, max 15 words.\n"
    "            tags: Optional list of topic tags.\n"
    "            files: Optional list of relevant file paths.\n"
    "        ";

struct GraphAddMemoryArgs {
  std::string type;
  std::string content;
  std::vector<std::string> tags;   // empty when absent
  std::vector<std::string> files;  // empty when absent
};
inline const ArgParams<GraphAddMemoryArgs> kGraphAddMemoryParams = {
    required_arg<ParamType::kString>("type", &GraphAddMemoryArgs::type),
    required_arg<ParamType::kString>("content", &GraphAddMemoryArgs::content),
    nullable_arg<ParamType::kStringList>("tags", &GraphAddMemoryArgs::tags),
    nullable_arg<ParamType::kStringList>("files", &GraphAddMemoryArgs::files),
};

// Appends one memory to the context store and saves it (which prunes).
// The entry is normalised first, created now, so that it has its kind, id
// and creation time and is not pruned as the oldest of a full store.
// Returns {"ok": true, "total": entries stored afterwards, "pruned": how
// many of the stored entries and the new one the save dropped to keep the
// store within its caps (memory_prune.h)}. Not logged.
// Before any of it, the type is cut to kMaxLabelChars code points, the
// content to kMaxStoredTextChars, the tags to their first kMaxTags of
// kMaxLabelChars each, and `files` loses the names no path is that long
// and is cut to its first names; the answer then ends with a member per
// cut ("type_truncated_to", "content_truncated_to", "tags_truncated_to",
// "tags_each_truncated_to", "files_dropped_too_long", "files_truncated_to";
// input_limits.h).
common::Json graph_add_memory(const GraphAddMemoryArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
