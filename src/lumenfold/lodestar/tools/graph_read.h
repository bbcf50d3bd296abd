#pragma once

#include <cstdint>
#include <string>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphReadDescription[] =
    "Read ONE file from project root. Call once per file \xE2\x80\x94 do NOT pass arrays. "
    "Use file::symbol notation for focused reads.";

inline constexpr char kAllowlistError[] =
    "file not in retrieved allowlist; call graph_retrieve with broader top_files first";
inline constexpr char kReuseGateError[] = "reuse gate active: read one reuse candidate first";
inline constexpr char kBudgetError[] = "turn read budget exhausted; call graph_retrieve again or use fallback_rg";
inline constexpr char kOutsideRootError[] = "outside project root";
inline constexpr char kFileNotFoundError[] = "file not found";
inline constexpr char kNulInFileError[] = "file name must not contain a NUL character";
inline constexpr char kFileTooLongError[] = "file name is longer than any path";

// No read asks for less than this many characters: a smaller request
// would rarely show enough to be useful.
inline constexpr int64_t kMinRequestedChars = 256;
// A repeated read is answered with at most this much of what the first
// read returned.
inline constexpr int64_t kRepeatPreviewChars = 500;
// What the turn remembers of each read to answer a repeat with.
inline constexpr int64_t kSeenReadChars = 200;
// Reads a turn remembers; the oldest is forgotten first.
inline constexpr size_t kMaxSeenReads = 20;
// What the action graph keeps of a read, to answer a later read of the
// same file for overlapping terms without touching the disk.
inline constexpr int64_t kCachedContentChars = 300;

struct GraphReadArgs {
  std::string file;  // "path" or "path::symbol"; relative or absolute
  int64_t max_chars;
  std::string query;
  std::string anchor;
};
inline const ArgParams<GraphReadArgs> kGraphReadParams = {
    required_arg<ParamType::kString>("file", &GraphReadArgs::file),
    defaulted_arg<ParamType::kInteger>("max_chars", &GraphReadArgs::max_chars, 20000),
    defaulted_arg<ParamType::kString>("query", &GraphReadArgs::query, ""),
    defaulted_arg<ParamType::kString>("anchor", &GraphReadArgs::anchor, ""),
};

// Reads one project file, or one symbol of it, within the turn's budgets
// and gates. In order, the first that applies answers:
//   - a `file` (path or symbol) holding a NUL character, which no file name
//     can: {"ok": false, "error": kNulInFileError}, before anything is
//     logged or recorded;
//   - a `file` longer than any path (kMaxPathBytes, input_limits.h):
//     {"ok": false, "error": kFileTooLongError}, likewise;
//   - the read allowlist (when enforced and the turn retrieved files):
//     {"ok": false, "error": kAllowlistError, "retrieved_files": sorted};
//   - the reuse gate (when enforced, until a reuse candidate was read):
//     {"ok": false, "error": kReuseGateError, "reuse_gate_candidates"};
//   - the action graph's copy of an earlier read for overlapping query
//     terms: {"ok": true, "file", "content", "mode": "cache_hit",
//     "from_action_graph": true}, not charged to the budget;
//   - the spent turn budget: {"ok": false, "error": kBudgetError, "budget":
//     {"used_chars", "remaining_chars", "turn_read_budget_chars"}};
//   - a repeat of a read served in this turn (same file, query key and
//     anchor, ignoring case): {"ok": true, "file", "content": its first 200
//     characters, "mode": "dedupe_preview", "already_returned": true};
//   - a path that resolves outside the project root (links included):
//     {"ok": false, "error": kOutsideRootError};
//   - neither the file nor a graph node with its path (the content stored
//     by the last scan): {"ok": false, "error": kFileNotFoundError, "file"};
//   - otherwise {"ok": true, "file", "content", "mode"} (plus "stale": true
//     and "stale_reason" when a symbol's lines changed since the scan), cut
//     to the symbol, the anchor or the query's terms and to the granted
//     size, charged to the turn, recorded in the action graph and turned
//     into memories.
// A served read of a reuse candidate (the file or one of its symbols)
// lifts the reuse gate for the rest of the turn. Logs every outcome but
// the name and path refusals. Throws std::runtime_error when a state file cannot be
// written or an existing project file cannot be read.
// A query past kMaxQueryChars code points is cut first and the answer
// gains "query_truncated_to" (query_limit.h); so is an anchor past
// kMaxStoredTextChars, and the answer then ends with "anchor_truncated_to"
// (input_limits.h).
common::Json graph_read(const GraphReadArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
