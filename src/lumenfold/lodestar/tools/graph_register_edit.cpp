#include "lumenfold/lodestar/tools/graph_register_edit.h"

// The evidence attached to the memories is read from the action graph file
// before this registration saves its own copy, so it describes what led to
// the edit, not the edit itself. The context store is written before the
// action graph: a failing action graph save leaves the memories in place.

#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/actions/action_evidence.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/cache/retrieval_cache.h"
#include "lumenfold/lodestar/graph/file_ref.h"
#include "lumenfold/lodestar/graph/query_terms.h"
#include "lumenfold/lodestar/mcp/input_limits.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/epoch_time.h"
#include "lumenfold/lodestar/memory/memory_entry.h"
#include "lumenfold/lodestar/memory/new_memory.h"
#include "lumenfold/lodestar/memory/upsert.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

constexpr char kGraphStatePrimed[] = "primed";
constexpr char kGraphStateReason[] = "Structural signal established. Future turns will use memory_first routing.";
constexpr char kEditedAfterQuery[] = "Edited after query: ";
constexpr char kEditedDuringSession[] = "Edited during active session";
// A registration of one file is a local decision; two or more files make
// it one that shapes the project.
constexpr size_t kGlobalScopeMinFiles = 2;

// Everything one registration stamps with the time: the same instant for
// every record it writes.
struct EditClock {
  double now;
  int64_t seconds;
  std::string iso;
};

// The anchor of `ref`; a reference whose file the symbol index does not
// know is anchored to the part before "::".
MemoryAnchor file_anchor(std::string_view ref, const SymbolLookup& symbols) {
  MemoryAnchor anchor = memory_anchor_for_ref(ref, symbols);
  if (anchor.path.empty()) anchor.path = std::string(file_part(ref));
  return anchor;
}

void mark_files_edited(ActionGraphStore& store, Json& graph, const std::string& action_id,
                       const std::vector<std::string>& files, const EditClock& clock) {
  if (!graph["files"].is_object()) graph["files"] = Json::object();
  for (const std::string& f : files) {
    store.ensure_node(f, "file");
    add_edge(graph, action_id, f, "edited", clock.seconds);
    // Looked up after the edge: adding a member to the graph moves the
    // others, so no reference into it survives ensure_node or add_edge.
    Json& record = graph["files"][f];
    if (!record.is_object()) record = Json::object();
    int64_t previous = record.contains("edited_count") ? common::as_integer(record["edited_count"]).value_or(0) : 0;
    record["last_action"] = "edited";
    record["last_ts"] = clock.iso;
    record["edited_count"] = previous + 1;
  }
}

// Stored decisions may have been edited by hand: only text summaries are
// archived.
std::string joined_summaries(const Json& decisions, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += "; ";
    const Json& d = decisions[i];
    if (d.is_object()) text += common::get_text(d, "summary");
  }
  return text;
}

// Keeps the newest decisions as a list and folds the older ones into the
// archive text, which never passes its cap.
void fold_old_decisions(Json& graph) {
  Json& decisions = graph["decisions"];
  if (decisions.size() <= kDecisionWindow) return;
  size_t old_count = decisions.size() - kDecisionWindow;
  std::string text = joined_summaries(decisions, old_count);
  decisions.erase(decisions.begin(), decisions.begin() + static_cast<std::ptrdiff_t>(old_count));
  std::string archive = common::get_text(graph, "decisions_archive");
  if (!archive.empty()) {
    archive.erase(archive.find_last_not_of('.') + 1);
    text = archive + "; " + text;
  }
  graph["decisions_archive"] = std::string(common::cut_code_points(text, kDecisionArchiveMaxChars));
}

void append_decision(Json& graph, const GraphRegisterEditArgs& args, const EditClock& clock) {
  Json& decisions = graph["decisions"];
  if (!decisions.is_array()) decisions = Json::array();
  decisions.push_back(Json{{"ts", clock.seconds},
                           {"summary", args.summary},
                           {"files", args.files},
                           {"scope", args.files.size() < kGlobalScopeMinFiles ? "file" : "global"}});
  fold_old_decisions(graph);
}

int64_t total_edit_count(const Json& graph) {
  int64_t total = 0;
  auto records = graph.find("files");
  if (records == graph.end()) return 0;
  for (const Json& record : *records) {
    if (record.is_object() && record.contains("edited_count")) {
      total += common::as_integer(record["edited_count"]).value_or(0);
    }
  }
  return total;
}

Json decision_memory(const GraphRegisterEditArgs& args, const MemoryAnchor& anchor, Json evidence,
                     const EditClock& clock) {
  Json queries = evidence.value("recent_queries", Json::array());
  return new_memory_entry(
      {"decision", args.summary, query_terms(args.summary), args.files, std::move(queries), std::move(evidence)},
      anchor, clock.now, memory_id(clock.now));
}

// No "id": the store merges it into the earlier observation of the same
// anchor, or gives it one.
Json edit_observation(const std::string& file, const std::string& summary, const MemoryAnchor& anchor,
                      const Json& evidence, const EditClock& clock) {
  Json queries = evidence.value("recent_queries", Json::array());
  std::string content = (queries.is_array() && !queries.empty() && queries[0].is_string())
                            ? kEditedAfterQuery + queries[0].get<std::string>()
                            : std::string(kEditedDuringSession);
  Json tags = query_terms(summary.empty() ? content : summary);
  Json observed_evidence{{"source", "graph_register_edit"},
                         {"recent_action_kinds", evidence.value("recent_action_kinds", Json::array())},
                         {"recent_queries", queries},
                         {"edited", true}};
  return new_memory_entry({"edit_observation", std::move(content), std::move(tags), Json::array({file}),
                           std::move(queries), std::move(observed_evidence)},
                          anchor, clock.now);
}

void store_edit_memories(const GraphRegisterEditArgs& args, const Json& action_graph, ServerState& state,
                         const EditClock& clock) {
  SymbolLookup symbols = state.symbols();
  MemoryAnchor first = args.files.empty() ? MemoryAnchor{} : file_anchor(args.files.front(), symbols);
  Json evidence = recent_action_evidence(action_graph, args.files, clock.seconds);
  // The decision, then one observation per file, in one write of the store.
  std::vector<Json> memories;
  memories.push_back(decision_memory(args, first, std::move(evidence), clock));
  for (const std::string& f : args.files) {
    Json ev = recent_action_evidence(action_graph, {f}, clock.seconds);
    memories.push_back(edit_observation(f, args.summary, file_anchor(f, symbols), ev, clock));
  }
  upsert_context_memories(state.context_store, memories, symbols, clock.now);
}

Json register_edit(const GraphRegisterEditArgs& args, ServerState& state) {
  const Settings& settings = state.settings;
  const EditClock clock{state.now(), state.now_seconds(), iso_time(state.now())};

  Json& graph = state.action_graph.edit(settings.action_graph_file());
  std::string action_id = "action:edit:" + std::to_string(clock.seconds);
  state.action_graph.ensure_node(action_id, "action", Json{{"summary", args.summary}});
  mark_files_edited(state.action_graph, graph, action_id, args.files, clock);
  append_decision(graph, args, clock);

  try {
    store_edit_memories(args, graph, state, clock);
  } catch (...) {
    // Without its memories the edit is not registered at all.
    state.action_graph.discard();
    throw;
  }

  int64_t total = total_edit_count(graph);
  int64_t invalidated = state.retrieval_cache().invalidate_files(args.files, clock.seconds);
  log_tool(settings.log_file(), state.now(), "graph_register_edit", Json{{"files", args.files}, {"summary", args.summary}});
  append_action(graph, "register_edit",
                Json{{"files", args.files}, {"summary", args.summary}, {"retrieval_cache_invalidated", invalidated}},
                clock.seconds);
  state.action_graph.save(clock.seconds);

  Json out{{"ok", true},
           {"edited_files", args.files},
           {"count", args.files.size()},
           {"retrieval_cache_invalidated", invalidated}};
  if (total == 0) {
    out["graph_state"] = kGraphStatePrimed;
    out["graph_state_reason"] = kGraphStateReason;
  }
  return out;
}

}  // namespace

GraphRegisterEditArgs parse_graph_register_edit_args(const Json& args) {
  const Json& files = args.at("files");
  std::vector<std::string> list =
      files.is_string() ? std::vector<std::string>{files.get<std::string>()} : files.get<std::vector<std::string>>();
  return {std::move(list), args.at("summary").get<std::string>()};
}

Json graph_register_edit(const GraphRegisterEditArgs& args, ServerState& state) {
  InputCuts cuts;
  const GraphRegisterEditArgs bounded{cuts.files(args.files, "files"), cuts.text(args.summary, "summary")};
  return cuts.mark(register_edit(bounded, state));
}

}  // namespace lumenfold::lodestar
