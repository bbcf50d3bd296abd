#include "lumenfold/lodestar/tools/graph_read.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/actions/file_records.h"
#include "lumenfold/lodestar/graph/file_ref.h"
#include "lumenfold/lodestar/graph/query_terms.h"
#include "lumenfold/lodestar/graph/read_cut.h"
#include "lumenfold/lodestar/graph/token_estimate.h"
#include "lumenfold/lodestar/mcp/input_limits.h"
#include "lumenfold/lodestar/mcp/query_limit.h"
#include "lumenfold/lodestar/memory/memory_scope.h"
#include "lumenfold/lodestar/memory/read_capture.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"
#include "lumenfold/lodestar/server/project_file.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// One call's arguments with the values derived from them before any gate;
// the gates take what they need from here rather than derive it again.
struct ReadRequest {
  const GraphReadArgs& args;
  int64_t requested;               // max_chars raised to the minimum
  int64_t limit;                   // requested, capped by the per-read maximum
  std::vector<std::string> terms;  // the query's terms
  std::string query_id;            // the query's node in the action graph
  std::string repeat_key;          // what tells a repeat within the turn
  std::string file_base;           // the file of a "file::symbol" reference
};

// File, query key and anchor, each in lower case, joined by "|".
std::string repeat_key_of(const GraphReadArgs& args, const std::string& key) {
  return common::to_lower(args.file) + "|" + common::to_lower(key) + "|" + common::to_lower(args.anchor);
}

ReadRequest derive_request(const GraphReadArgs& args, const ServerState& state) {
  const int64_t requested = std::max(args.max_chars, kMinRequestedChars);
  const int64_t hard_max = state.turn.explore_hard_max_chars.value_or(state.settings.hard_max_read_chars);
  std::vector<std::string> terms = query_terms(args.query);
  const std::string key = join_terms(terms);
  return ReadRequest{args,
                     requested,
                     std::min(requested, hard_max),
                     std::move(terms),
                     "query:" + (args.query.empty() ? std::string("(empty)") : key),
                     repeat_key_of(args, key),
                     std::string(file_part(args.file))};
}

// How a call ends: the answer, and what is written about it. Every path
// through the gates ends in one Outcome, and finish() writes it in one place,
// in one order: the log line, the action graph, then the turn and the memory
// of a read whose content went out.
struct Outcome {
  Json answer;
  std::optional<Json> log;  // the log line's payload; nullopt: nothing is logged
  // Writes the action graph, given the logged payload; empty: nothing is
  // recorded. Set only with `log`.
  std::function<void(const Json& payload, ServerState&)> record;
  bool served = false;  // the file's content (or its stored copy) went out
};

int64_t length_of(std::string_view text) { return static_cast<int64_t>(common::code_point_count(text)); }

std::string head(std::string_view text, int64_t chars) {
  return std::string(common::cut_code_points(text, static_cast<size_t>(std::max<int64_t>(0, chars))));
}

// Whether the read names one of `files`, itself or by its file.
bool names_one_of(const ReadRequest& r, const std::vector<std::string>& files) {
  return std::find(files.begin(), files.end(), r.args.file) != files.end() ||
         std::find(files.begin(), files.end(), r.file_base) != files.end();
}

Json log_payload(const ReadRequest& r, int64_t granted, std::string_view mode) {
  return Json{{"file", r.args.file},   {"requested_chars", r.requested}, {"granted_chars", granted},
              {"query", r.args.query}, {"anchor", r.args.anchor},        {"mode", mode}};
}

void add_response_size(Json& payload, std::string_view content) {
  payload["response_chars"] = length_of(content);
  payload["response_tokens_est"] = est_tokens(content);
}

// An answer logged with `payload` and not recorded.
Outcome logged(Json answer, Json payload) { return {std::move(answer), std::move(payload), {}, false}; }

// An answer logged with `payload` and recorded as one action of `kind`.
Outcome logged_and_recorded(Json answer, Json payload, const char* kind) {
  auto record = [kind](const Json& logged, ServerState& state) {
    state.action_graph.record_action(kind, logged, state.now_seconds());
  };
  return {std::move(answer), std::move(payload), std::move(record), false};
}

std::optional<Outcome> allowlist_refusal(const ReadRequest& r, ServerState& state) {
  const std::vector<std::string>& allowed = state.turn.retrieved_files;
  if (!state.settings.enforce_read_allowlist || allowed.empty() || names_one_of(r, allowed)) return std::nullopt;
  const Json sorted = std::set<std::string>(allowed.begin(), allowed.end());
  Json payload = log_payload(r, 0, "allowlist_blocked");
  payload["retrieved_files"] = sorted;
  return logged_and_recorded(Json{{"ok", false}, {"error", kAllowlistError}, {"retrieved_files", sorted}},
                             std::move(payload), "read_blocked_allowlist");
}

std::optional<Outcome> reuse_gate_refusal(const ReadRequest& r, const ServerState& state) {
  const std::vector<std::string>& candidates = state.turn.reuse_gate_candidates;
  if (!state.settings.enforce_reuse_gate || candidates.empty() || state.turn.reuse_gate_satisfied ||
      names_one_of(r, candidates)) {
    return std::nullopt;
  }
  Json payload = log_payload(r, 0, "reuse_gate_blocked");
  payload["reuse_gate_candidates"] = candidates;
  return logged_and_recorded(Json{{"ok", false}, {"error", kReuseGateError}, {"reuse_gate_candidates", candidates}},
                             std::move(payload), "read_blocked_reuse_gate");
}

// A read of a reuse candidate, however it was served, is what the gate
// asks for: it stays open for the rest of the turn.
void note_candidate_read(const ReadRequest& r, TurnState& turn) {
  if (names_one_of(r, turn.reuse_gate_candidates)) turn.reuse_gate_satisfied = true;
}

void capture_memory(const ReadRequest& r, ServerState& state) {
  SymbolLookup symbols = state.symbols();
  MemoryScope scope{state.context_store, symbols, state.now(), state.settings.session_start_epoch};
  capture_read_memory(scope, state.action_graph.logged_actions(), r.args.file, r.file_base, r.args.query, r.terms);
}

// An earlier read of this reference for overlapping terms answers again
// from its stored copy, at no cost to the turn.
std::optional<Outcome> answer_from_action_graph(const ReadRequest& r, const Json& record) {
  if (shared_term_count(record, r.terms) == 0) return std::nullopt;
  auto cached = record.find("cached_content");
  if (cached == record.end() || !common::is_truthy(*cached)) return std::nullopt;
  const std::string content = head(common::made_text(*cached), r.limit);
  Json payload = log_payload(r, length_of(content), "cache_hit");
  add_response_size(payload, content);
  Outcome out = logged_and_recorded(Json{{"ok", true},
                                         {"file", r.args.file},
                                         {"content", content},
                                         {"mode", "cache_hit"},
                                         {"from_action_graph", true}},
                                    std::move(payload), "read_cache_hit");
  out.served = true;
  return out;
}

struct Budget {
  int64_t used;
  int64_t total;
  int64_t remaining;
};

Budget turn_budget(const ServerState& state) {
  const int64_t used = state.turn.used_chars;
  const int64_t total = state.turn.explore_budget_chars.value_or(state.settings.turn_read_budget_chars);
  return {used, total, std::max<int64_t>(0, total - used)};
}

Outcome budget_refusal(const ReadRequest& r, const Budget& budget) {
  Json payload = log_payload(r, 0, "budget_exhausted");
  payload["response_chars"] = 0;
  payload["response_tokens_est"] = 0;
  return logged(Json{{"ok", false},
                     {"error", kBudgetError},
                     {"budget",
                      {{"used_chars", budget.used},
                       {"remaining_chars", budget.remaining},
                       {"turn_read_budget_chars", budget.total}}}},
                std::move(payload));
}

const std::string* seen_read(const TurnState& turn, const std::string& key) {
  for (const auto& [seen_key, preview] : turn.seen_reads) {
    if (seen_key == key) return &preview;
  }
  return nullptr;
}

Outcome repeat_answer(const ReadRequest& r, const std::string& stored, int64_t granted) {
  const std::string preview = head(stored, kRepeatPreviewChars);
  Json payload = log_payload(r, std::min(granted, kRepeatPreviewChars), "dedupe_preview");
  add_response_size(payload, preview);
  return logged(Json{{"ok", true},
                     {"file", r.args.file},
                     {"content", preview},
                     {"mode", "dedupe_preview"},
                     {"already_returned", true}},
                std::move(payload));
}

// The file's text from disk, or, for a file deleted since the scan, from
// the graph; an error result when it lies outside the root or is nowhere.
struct Located {
  std::optional<std::string> text;
  std::optional<Json> symbol;
  std::optional<Json> refusal;
};

Located locate_and_load(const ReadRequest& r, ServerState& state) {
  const std::string& file = r.args.file;
  Located out;
  if (file.find("::") != std::string::npos) {
    SymbolLookup symbols = state.symbols();
    if (const Json* record = symbol_record(symbols, file)) out.symbol = *record;
  }
  std::optional<std::filesystem::path> path = resolve_inside_root(state.settings.project_root, r.file_base);
  if (!path) {
    out.refusal = Json{{"ok", false}, {"error", kOutsideRootError}};
    return out;
  }
  out.text = read_project_file(*path);
  if (!out.text) out.text = content_from_graph(state.settings.info_graph_file(), r.file_base);
  if (!out.text) out.refusal = Json{{"ok", false}, {"error", kFileNotFoundError}, {"file", file}};
  return out;
}

void charge_turn(const std::string& key, const std::string& content, int64_t used, TurnState& turn) {
  turn.used_chars = used + length_of(content);
  turn.seen_reads.emplace_back(key, head(content, kSeenReadChars));
  if (turn.seen_reads.size() > kMaxSeenReads) turn.seen_reads.erase(turn.seen_reads.begin());
}

// The "read" action, the query, the file and a "read" edge between them,
// and the file's record that later reads and reuse candidates are drawn
// from, saved together.
void record_in_action_graph(const ReadRequest& r, const ReadCut& cut, const Json& payload, ServerState& state) {
  const std::string& file = r.args.file;
  ActionGraphStore& action_graph = state.action_graph;
  action_graph.append_action("read", payload, state.now_seconds());
  action_graph.ensure_node(r.query_id, "query", Json{{"text", r.args.query}});
  action_graph.ensure_node(file, "file");
  action_graph.add_edge(r.query_id, file, "read", state.now_seconds(), Json{{"mode", cut.mode}});
  action_graph.put_file_record(file, Json{{"query_terms", r.terms},
                                          {"cached_content", head(cut.content, kCachedContentChars)},
                                          {"cached_chars", length_of(cut.content)},
                                          {"cached_tokens_est", est_tokens(cut.content)},
                                          {"last_action", "read"},
                                          {"last_ts", state.now_seconds()}});
  action_graph.save(state.now_seconds());
}

Outcome serve_read(const ReadRequest& r, std::string text, const std::optional<Json>& symbol, const Budget& budget,
                   int64_t granted, ServerState& state) {
  ReadCut cut = cut_for_read(std::move(text), symbol ? &*symbol : nullptr, r.terms, r.args.anchor, granted);
  charge_turn(r.repeat_key, cut.content, budget.used, state.turn);

  Json payload = log_payload(r, granted, cut.mode);
  add_response_size(payload, cut.content);
  payload["budget_used_chars"] = state.turn.used_chars;
  // Against the standard budget, also while exploring.
  payload["budget_remaining_chars"] =
      std::max<int64_t>(0, state.settings.turn_read_budget_chars - state.turn.used_chars);
  Json answer{{"ok", true}, {"file", r.args.file}, {"content", cut.content}, {"mode", cut.mode}};
  if (cut.stale) {
    answer["stale"] = true;
    answer["stale_reason"] = kStaleSymbolReason;
  }
  auto record = [&r, cut = std::move(cut)](const Json& logged, ServerState& s) {
    record_in_action_graph(r, cut, logged, s);
  };
  return {std::move(answer), std::move(payload), std::move(record), /*served=*/true};
}

// Where the gates let the read through: the file's text, cut to what the
// turn's budget grants; a repeat within the turn gets a short preview.
Outcome read_file(const ReadRequest& r, ServerState& state) {
  const Budget budget = turn_budget(state);
  if (budget.remaining <= 0) return budget_refusal(r, budget);
  const int64_t granted = std::min(budget.remaining, r.limit);
  if (const std::string* stored = seen_read(state.turn, r.repeat_key)) return repeat_answer(r, *stored, granted);

  Located located = locate_and_load(r, state);
  // Nothing is logged for a file that is outside the root or nowhere.
  if (located.refusal) return {std::move(*located.refusal), std::nullopt, {}, false};
  return serve_read(r, std::move(*located.text), located.symbol, budget, granted, state);
}

Outcome decide(const ReadRequest& r, ServerState& state) {
  if (std::optional<Outcome> refused = allowlist_refusal(r, state)) return std::move(*refused);
  if (std::optional<Outcome> refused = reuse_gate_refusal(r, state)) return std::move(*refused);
  if (std::optional<Outcome> answer = answer_from_action_graph(r, state.action_graph.file_record(r.args.file))) {
    return std::move(*answer);
  }
  return read_file(r, state);
}

Json finish(const ReadRequest& r, Outcome outcome, ServerState& state) {
  if (outcome.log) log_tool(state.settings.log_file(), state.now(), "graph_read", *outcome.log);
  if (outcome.record) outcome.record(*outcome.log, state);
  if (outcome.served) {
    note_candidate_read(r, state.turn);
    capture_memory(r, state);
  }
  return std::move(outcome.answer);
}

Json read_target(const GraphReadArgs& args, ServerState& state) {
  const ReadRequest r = derive_request(args, state);
  return finish(r, decide(r, state), state);
}

}  // namespace

Json graph_read(const GraphReadArgs& args, ServerState& state) {
  // The system cut such a name at the NUL and read another file, while the
  // action graph kept (and /prime later printed) the name as given.
  if (args.file.find('\0') != std::string::npos) return Json{{"ok", false}, {"error", kNulInFileError}};
  if (!fits_a_path(args.file)) return Json{{"ok", false}, {"error", kFileTooLongError}};
  // The anchor is kept in the log and in the turn's record of reads.
  InputCuts cuts;
  const GraphReadArgs bounded{args.file, args.max_chars, args.query, cuts.text(args.anchor, "anchor")};
  return cuts.mark(with_query_cut(bounded, &GraphReadArgs::query,
                                  [&](const GraphReadArgs& cut) { return read_target(cut, state); }));
}

}  // namespace lumenfold::lodestar
