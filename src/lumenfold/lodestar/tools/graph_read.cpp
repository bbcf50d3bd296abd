#include "lumenfold/lodestar/tools/graph_read.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/actions/action_graph.h"
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

// One call's arguments with the values derived from them before any gate.
struct ReadRequest {
  const GraphReadArgs& args;
  int64_t requested;  // max_chars raised to the minimum
  int64_t limit;      // requested, capped by the per-read maximum
  std::vector<std::string> terms;
  std::string file_base;  // the file of a "file::symbol" reference
};

ReadRequest derive_request(const GraphReadArgs& args, const ServerState& state) {
  const int64_t requested = std::max(args.max_chars, kMinRequestedChars);
  const int64_t hard_max = state.turn.explore_hard_max_chars.value_or(state.settings.hard_max_read_chars);
  return ReadRequest{args, requested, std::min(requested, hard_max), query_terms(args.query),
                     std::string(file_part(args.file))};
}

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

void log_read(const ServerState& state, const Json& payload) {
  log_tool(state.settings.log_file(), state.now(), "graph_read", payload);
}

void log_and_record(ServerState& state, std::string_view kind, const Json& payload) {
  log_read(state, payload);
  state.action_graph.record_action(state.settings.action_graph_file(), kind, payload, state.now_seconds());
}

std::optional<Json> allowlist_refusal(const ReadRequest& r, ServerState& state) {
  const std::vector<std::string>& allowed = state.turn.retrieved_files;
  if (!state.settings.enforce_read_allowlist || allowed.empty() || names_one_of(r, allowed)) return std::nullopt;
  const Json sorted = std::set<std::string>(allowed.begin(), allowed.end());
  Json payload = log_payload(r, 0, "allowlist_blocked");
  payload["retrieved_files"] = sorted;
  log_and_record(state, "read_blocked_allowlist", payload);
  return Json{{"ok", false}, {"error", kAllowlistError}, {"retrieved_files", sorted}};
}

std::optional<Json> reuse_gate_refusal(const ReadRequest& r, ServerState& state) {
  const std::vector<std::string>& candidates = state.turn.reuse_gate_candidates;
  if (!state.settings.enforce_reuse_gate || candidates.empty() || state.turn.reuse_gate_satisfied ||
      names_one_of(r, candidates)) {
    return std::nullopt;
  }
  Json payload = log_payload(r, 0, "reuse_gate_blocked");
  payload["reuse_gate_candidates"] = candidates;
  log_and_record(state, "read_blocked_reuse_gate", payload);
  return Json{{"ok", false}, {"error", kReuseGateError}, {"reuse_gate_candidates", candidates}};
}

// A read of a reuse candidate, however it was served, is what the gate
// asks for: it stays open for the rest of the turn.
void note_candidate_read(const ReadRequest& r, TurnState& turn) {
  if (names_one_of(r, turn.reuse_gate_candidates)) turn.reuse_gate_satisfied = true;
}

void capture_memory(const ReadRequest& r, ServerState& state) {
  SymbolLookup symbols = state.symbols();
  MemoryScope scope{state.context_store, symbols, state.now(), state.settings.session_start_epoch};
  state.action_graph.load(state.settings.action_graph_file());
  capture_read_memory(scope, state.action_graph.logged_actions(), r.args.file, r.file_base, r.args.query, r.terms);
}

// The action graph's record of the last read of this very reference.
Json read_record(ServerState& state, const std::string& file) {
  const Json& graph = state.action_graph.load(state.settings.action_graph_file());
  auto files = graph.find("files");
  if (files == graph.end() || !files->is_object()) return Json::object();
  auto record = files->find(file);
  return record != files->end() && record->is_object() ? *record : Json::object();
}

bool shares_a_term(const Json& record, const std::vector<std::string>& terms) {
  auto stored = record.find("query_terms");
  if (stored == record.end() || !stored->is_array()) return false;
  for (const Json& t : *stored) {
    if (t.is_string() && std::find(terms.begin(), terms.end(), t.get_ref<const std::string&>()) != terms.end()) {
      return true;
    }
  }
  return false;
}

// An earlier read of this reference for overlapping terms answers again
// from its stored copy, at no cost to the turn.
std::optional<Json> answer_from_action_graph(const ReadRequest& r, const Json& record, ServerState& state) {
  if (record.empty() || !shares_a_term(record, r.terms)) return std::nullopt;
  auto cached = record.find("cached_content");
  if (cached == record.end() || !common::is_truthy(*cached)) return std::nullopt;
  const std::string content = head(common::made_text(*cached), r.limit);
  Json payload = log_payload(r, length_of(content), "cache_hit");
  add_response_size(payload, content);
  log_and_record(state, "read_cache_hit", payload);
  note_candidate_read(r, state.turn);
  capture_memory(r, state);
  return Json{
      {"ok", true}, {"file", r.args.file}, {"content", content}, {"mode", "cache_hit"}, {"from_action_graph", true}};
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

Json budget_refusal(const ReadRequest& r, const Budget& budget, const ServerState& state) {
  Json payload = log_payload(r, 0, "budget_exhausted");
  payload["response_chars"] = 0;
  payload["response_tokens_est"] = 0;
  log_read(state, payload);
  return Json{
      {"ok", false},
      {"error", kBudgetError},
      {"budget",
       {{"used_chars", budget.used}, {"remaining_chars", budget.remaining}, {"turn_read_budget_chars", budget.total}}}};
}

// File, query key and anchor, each in lower case, joined by "|".
std::string repeat_key(const ReadRequest& r) {
  return common::to_lower(r.args.file) + "|" + common::to_lower(query_key(r.args.query)) + "|" +
         common::to_lower(r.args.anchor);
}

const std::string* seen_read(const TurnState& turn, const std::string& key) {
  for (const auto& [seen_key, preview] : turn.seen_reads) {
    if (seen_key == key) return &preview;
  }
  return nullptr;
}

Json repeat_answer(const ReadRequest& r, const std::string& stored, int64_t granted, const ServerState& state) {
  const std::string preview = head(stored, kRepeatPreviewChars);
  Json payload = log_payload(r, std::min(granted, kRepeatPreviewChars), "dedupe_preview");
  add_response_size(payload, preview);
  log_read(state, payload);
  return Json{{"ok", true},
              {"file", r.args.file},
              {"content", preview},
              {"mode", "dedupe_preview"},
              {"already_returned", true}};
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
  Json& graph = state.action_graph.edit(state.settings.action_graph_file());
  append_action(graph, "read", payload, state.now_seconds());
  const std::string qid = "query:" + (r.args.query.empty() ? std::string("(empty)") : query_key(r.args.query));
  state.action_graph.ensure_node(qid, "query", Json{{"text", r.args.query}});
  state.action_graph.ensure_node(file, "file");
  add_edge(graph, qid, file, "read", state.now_seconds(), Json{{"mode", cut.mode}});
  Json& files = graph["files"];
  if (!files.is_object()) files = Json::object();
  files[file] = Json{{"query_terms", r.terms},
                     {"cached_content", head(cut.content, kCachedContentChars)},
                     {"cached_chars", length_of(cut.content)},
                     {"cached_tokens_est", est_tokens(cut.content)},
                     {"last_action", "read"},
                     {"last_ts", state.now_seconds()}};
  state.action_graph.save(state.now_seconds());
}

Json serve_read(const ReadRequest& r, std::string text, const std::optional<Json>& symbol, const Budget& budget,
                int64_t granted, const std::string& key, ServerState& state) {
  ReadCut cut = cut_for_read(std::move(text), symbol ? &*symbol : nullptr, r.args.query, r.args.anchor, granted);
  charge_turn(key, cut.content, budget.used, state.turn);
  note_candidate_read(r, state.turn);

  Json payload = log_payload(r, granted, cut.mode);
  add_response_size(payload, cut.content);
  payload["budget_used_chars"] = state.turn.used_chars;
  // Against the standard budget, also while exploring.
  payload["budget_remaining_chars"] =
      std::max<int64_t>(0, state.settings.turn_read_budget_chars - state.turn.used_chars);
  log_read(state, payload);
  record_in_action_graph(r, cut, payload, state);
  capture_memory(r, state);

  Json out{{"ok", true}, {"file", r.args.file}, {"content", std::move(cut.content)}, {"mode", cut.mode}};
  if (cut.stale) {
    out["stale"] = true;
    out["stale_reason"] = kStaleSymbolReason;
  }
  return out;
}

}  // namespace

GraphReadArgs parse_graph_read_args(const Json& args) {
  return {args.at("file").get<std::string>(), args.at("max_chars").get<int64_t>(), args.at("query").get<std::string>(),
          args.at("anchor").get<std::string>()};
}

namespace {

Json read_target(const GraphReadArgs& args, ServerState& state) {
  const ReadRequest r = derive_request(args, state);
  if (std::optional<Json> refused = allowlist_refusal(r, state)) return std::move(*refused);
  if (std::optional<Json> refused = reuse_gate_refusal(r, state)) return std::move(*refused);
  const Json record = read_record(state, args.file);
  if (std::optional<Json> answer = answer_from_action_graph(r, record, state)) return std::move(*answer);

  const Budget budget = turn_budget(state);
  if (budget.remaining <= 0) return budget_refusal(r, budget, state);
  const int64_t granted = std::min(budget.remaining, r.limit);
  const std::string key = repeat_key(r);
  if (const std::string* stored = seen_read(state.turn, key)) return repeat_answer(r, *stored, granted, state);

  Located located = locate_and_load(r, state);
  if (located.refusal) return std::move(*located.refusal);
  return serve_read(r, std::move(*located.text), located.symbol, budget, granted, key, state);
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
