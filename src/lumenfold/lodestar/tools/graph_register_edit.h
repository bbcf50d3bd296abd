#pragma once

#include <string>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphRegisterEditDescription[] = "Register edited files into in-chat action graph memory.";

// The newest decisions kept as a list in the action graph; older ones are
// folded into "decisions_archive".
inline constexpr size_t kDecisionWindow = 20;
// The archive stays one short paragraph: summaries folded in after it is
// full are dropped.
inline constexpr size_t kDecisionArchiveMaxChars = 300;

struct GraphRegisterEditArgs {
  // As registered: a text argument is a one-element list; duplicates and
  // empty items are kept.
  std::vector<std::string> files;
  std::string summary;
};
inline const ArgParams<GraphRegisterEditArgs> kGraphRegisterEditParams = {
    required_arg<ParamType::kStringOrStringList>("files", &GraphRegisterEditArgs::files),
    defaulted_arg<ParamType::kString>("summary", &GraphRegisterEditArgs::summary, ""),
};

// Records an edit of `files`:
//   - action graph: an "action:edit:<now>" node with the summary, a file
//     node and an "edited" edge per file, each file record's "last_action"
//     "edited", "last_ts" (timestamp text) and "edited_count" + 1 (a file
//     listed twice counts twice), and the decision {"ts", "summary",
//     "files", "scope"} ("file" for fewer than two files, else "global")
//     in the window of the newest decisions, older ones folded into the
//     archive text;
//   - context store: a "decision" memory for a non-empty summary and one
//     "edit_observation" memory per file, each with the recent action
//     evidence of the last two minutes (taken before this edit is recorded);
//   - retrieval cache: every entry naming an edited file, or any reference
//     with the same file, is dropped.
// Logs the call and records a "register_edit" action. Returns {"ok": true,
// "edited_files", "count", "retrieval_cache_invalidated"}, plus
// "graph_state": "primed" and its reason while the action graph records no
// edit at all (a registration without files on a fresh graph).
// Before any of it, `files` loses the names no path is that long and is cut
// to its first names, and the summary to kMaxStoredTextChars code points;
// the answer then ends with "files_dropped_too_long", "files_truncated_to"
// and "summary_truncated_to" (input_limits.h).
// Throws when a state file cannot be written; the stores written before
// the failure keep their changes.
common::Json graph_register_edit(const GraphRegisterEditArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
