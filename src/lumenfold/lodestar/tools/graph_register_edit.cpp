#include "lumenfold/lodestar/tools/graph_register_edit.h"

// The evidence attached to the memories is read from the action graph file
// before this registration saves its own copy, so it describes what led to
// the edit, not the edit itself. The context store is written before the
// action graph: a failing action graph save leaves the memories in place.

#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/actions/action_evidence.h"
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

Json decision(const GraphRegisterEditArgs& args, const EditClock& clock) {
  return Json{{"ts", clock.seconds},
              {"summary", args.summary},
              {"files", args.files},
              {"scope", args.files.size() < kGlobalScopeMinFiles ? "file" : "global"}};
}

Json decision_memory(const GraphRegisterEditArgs& args, const MemoryAnchor& anchor, Json evidence,
                     const EditClock& clock) {
  Json queries = evidence.value("recent_queries", Json::array());
  return new_memory_entry({MemoryKind::kDecision, args.summary, query_terms(args.summary), args.files,
                           std::move(queries), std::move(evidence)},
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
  return new_memory_entry({MemoryKind::kEditObservation, std::move(content), std::move(tags), Json::array({file}),
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

  ActionGraphStore& action_graph = state.action_graph;
  std::string action_id = "action:edit:" + std::to_string(clock.seconds);
  action_graph.ensure_node(action_id, "action", Json{{"summary", args.summary}});
  action_graph.mark_files_edited(action_id, args.files, clock.seconds, clock.iso);
  action_graph.append_decision(decision(args, clock), kDecisionWindow, kDecisionArchiveMaxChars);

  try {
    store_edit_memories(args, action_graph.document(), state, clock);
  } catch (...) {
    // Without its memories the edit is not registered at all.
    action_graph.discard();
    throw;
  }

  int64_t total = action_graph.total_edit_count();
  int64_t invalidated = state.retrieval_cache().invalidate_files(args.files, clock.seconds);
  log_tool(settings.log_file(), state.now(), "graph_register_edit",
           Json{{"files", args.files}, {"summary", args.summary}});
  action_graph.append_action(
      "register_edit",
      Json{{"files", args.files}, {"summary", args.summary}, {"retrieval_cache_invalidated", invalidated}},
      clock.seconds);
  action_graph.save(clock.seconds);

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

Json graph_register_edit(const GraphRegisterEditArgs& args, ServerState& state) {
  InputCuts cuts;
  const GraphRegisterEditArgs bounded{cuts.files(args.files, "files"), cuts.text(args.summary, "summary")};
  return cuts.mark(register_edit(bounded, state));
}

}  // namespace lumenfold::lodestar
