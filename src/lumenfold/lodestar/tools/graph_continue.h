#pragma once

#include <cstdint>
#include <string>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kGraphContinueDescription[] =
    "\n"
    "        Continue a conversation using action-memory search first, then info-graph retrieval only if needed.\n"
    "        Returns compact context hints instead of full chat dump.\n"
    "\n"
    "        IMPORTANT \xE2\x80\x94 project setup check:\n"
    "        If the response contains needs_project=True, no project has been scanned yet.\n"
    "        You MUST:\n"
    "          1. Ask the user: \"Which directory should I scan? (default: current working directory)\"\n"
    "          2. Use their answer (or current working directory / pwd if they confirm the default).\n"
    "          3. Call graph_scan(project_root=<path>) with that path.\n"
    "          4. Then call graph_continue again to proceed with the original query.\n"
    "        Do NOT attempt to answer the query until graph_scan has been called.\n"
    "        ";

inline constexpr char kColdStartNote[] = "Greenfield project \xE2\x80\x94 allowing exploratory read to seed graph.";
inline constexpr char kColdStartHint[] =
    "Project has fewer than 5 files. Use targeted reads only \xE2\x80\x94 do NOT explore broadly.";
inline constexpr char kColdStartNextAction[] =
    "Ask the user what they want to work on, or read a specific file if named.";

struct GraphContinueArgs {
  std::string query;
  int64_t top_files;
  int64_t top_edges;
  int64_t limit;  // past actions and files searched for the query
};
inline const ArgParams<GraphContinueArgs> kGraphContinueParams = {
    required_arg<ParamType::kString>("query", &GraphContinueArgs::query),
    defaulted_arg<ParamType::kInteger>("top_files", &GraphContinueArgs::top_files, 5),
    defaulted_arg<ParamType::kInteger>("top_edges", &GraphContinueArgs::top_edges, 12),
    defaulted_arg<ParamType::kInteger>("limit", &GraphContinueArgs::limit, 8),
};

// The agent's first call for a request: says how to gather context for
// `query`, with hints instead of file contents. The first route that
// applies answers:
//   - no usable information graph (missing, unparsable, or no nodes):
//     {"ok": false, "needs_project": true, "query", "project_root",
//     "surveyor": the scanner program beside this server, "ingest_url":
//     this server's /ingest-graph when it ranks locally and knows its
//     port, else the remote graph API's};
//   - a locked server whose graph was scanned from another root:
//     {"ok": false, "needs_project": true, "query", "project_root",
//     "stale_graph_for", "hint"};
//   - fewer than 5 files: "bootstrap_explore" (a retrieval, with its files
//     and edges) when the query sounds like starting something new, else
//     "skip" with advice to read only what is named;
//   - a file that earlier turns touched for at least
//     `memory_first_min_overlap` of the query's terms: "memory_first" with
//     up to three such files (those an earlier action named, when any);
//   - otherwise "retrieve_then_read": a retrieval (which may start a new
//     query turn), a confidence from its best score, limits on supplementary
//     greps and files, and its first three files.
// The last two answer with "recommended_files" ({"file", "access_type":
// "write" | "read" | "new"}) and the three best memories for them, and are
// logged and recorded ("continue_memory_first", "continue_retrieve"). An
// "explore" intent lowers "high" confidence to "medium", allows at least 2
// supplementary greps and files, and sets the turn's exploration budgets.
// Throws what the retrieval, the history search or the memory search throw.
// A query past kMaxQueryChars code points is cut first and the answer
// gains "query_truncated_to" (query_limit.h).
common::Json graph_continue(const GraphContinueArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
