#pragma once
// Read-only questions asked of the action graph (action_graph.h) that turn
// its log of tool actions into evidence: what happened shortly before an
// edit, how often and why a file or symbol was read recently, and which
// past actions and touched files match a new query.
//
// Each call takes the graph as load_action_graph returns it (or its log),
// walks "actions" from the newest to the oldest and changes nothing.
// Hand-edited documents are read leniently:
// an action that is not an object is skipped, and a payload or file record
// that is not an object reads as empty.
//
// A file reference is a file id or "file id::symbol"; its base is the part
// before the first "::". An action is recent when its "ts" (read as an
// integer; absent, null, false or non-numeric counts as 0) is greater than 0
// and `now_seconds` - "ts" <= `window_sec`.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/actions/action_log.h"

namespace lumenfold::lodestar {

// What counts as "just before" an edit registration.
inline constexpr int64_t kEditEvidenceWindowSec = 120;
// Reads within ten minutes describe the same piece of work.
inline constexpr int64_t kReadContextWindowSec = 600;
// Enough past actions and files for the continuation tool to judge overlap.
inline constexpr int64_t kActionHistoryLimit = 10;

// {"window_sec": window_sec, "recent_action_kinds": [...up to 6],
//  "recent_queries": [...up to 3]}, both newest first. An action counts when
// it is recent and either names no "file" or names one whose base is a base
// of `files` (or that is itself one of `files`); a counted action adds its
// non-empty "kind" and its trimmed non-empty "query", each once.
common::Json recent_action_evidence(const common::Json& action_graph, const std::vector<std::string>& files,
                                    int64_t now_seconds, int64_t window_sec = kEditEvidenceWindowSec);

// {"read_count": n, "co_visited": [...up to 3], "queries": [...up to 3]}
// over the recent actions of kind "read" or "read_cache_hit" among
// `actions` (the log as action_log.h gives it, oldest first). A symbol
// reference (holding "::") matches only reads of that very symbol, and
// other reads of its file (the whole file or other symbols) are its
// co-visits; a file reference matches reads of the file and of any of its
// symbols, and reads of any other file are its co-visits. Each match counts
// once and adds its trimmed query. Both lists hold distinct non-blank
// texts, newest first.
common::Json recent_read_context(std::span<const LoggedAction> actions, std::string_view ref, int64_t now_seconds,
                                 int64_t window_sec = kReadContextWindowSec);

// {"action_hits": [...], "file_hits": [...at most limit]}.
// Action hits {"kind", "file", "overlap"}, newest first: overlap is the
// number of query terms found as substrings of the lower-cased payload
// values (so "auth" hits "author"); actions without overlap are skipped
// unless the query has no terms. The walk stops once the hits reach
// `limit`, tested after each append, so a limit of 0 still yields one hit.
// File hits {"file", "overlap", "edited_count"} over the "files" map:
// overlap is the number of query terms that appear whole in the record's
// "query_terms"; files without overlap are skipped unless the query has no
// terms. Sorted by overlap, then edited_count (both highest first), then
// file text. A negative `limit` keeps no file hits.
common::Json search_action_history(const common::Json& action_graph, std::string_view query,
                                   int64_t limit = kActionHistoryLimit);

}  // namespace lumenfold::lodestar
