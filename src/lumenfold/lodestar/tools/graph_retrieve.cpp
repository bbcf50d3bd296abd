#include "lumenfold/lodestar/tools/graph_retrieve.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/actions/file_records.h"
#include "lumenfold/lodestar/cache/cache_key.h"
#include "lumenfold/lodestar/cache/retrieval_cache.h"
#include "lumenfold/lodestar/graph/local_retrieval.h"
#include "lumenfold/lodestar/graph/query_terms.h"
#include "lumenfold/lodestar/graph/remote_api.h"
#include "lumenfold/lodestar/mcp/query_limit.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

// The allowlist of a cache hit and the files of a cache entry are not cut
// to top_files.
constexpr size_t kEveryRankedFile = std::numeric_limits<size_t>::max();

Json with_member(const Json& result, const char* key, Json value) {
  Json out = result.is_object() ? result : Json::object();
  out[key] = std::move(value);
  return out;
}

void remember_result(TurnState& turn, const Json& out) {
  turn.last_retrieve_out = std::make_shared<const Json>(out);
  turn.retrieve_count += 1;
}

Json request_payload(const GraphRetrieveArgs& args) {
  return Json{{"query", args.query}, {"top_files", args.top_files}, {"top_edges", args.top_edges}};
}

// The stored result of a valid cache entry, with the allowlist taken from
// all of its files.
std::optional<Json> cached_result(const GraphRetrieveArgs& args, ServerState& state, const std::string& key) {
  RetrievalCache cache = state.retrieval_cache();
  std::optional<Json> entry = cache.find(key, state.now_seconds());
  if (!entry || !cache.entry_valid(*entry, state.settings.project_root, state.now_seconds())) return std::nullopt;
  Json out = with_member(common::member_or_null(*entry, "result"), "retrieval_cache_hit", true);
  out["retrieval_cache_key"] = key;
  state.turn.retrieved_files = ranked_file_ids(out, kEveryRankedFile);
  remember_result(state.turn, out);

  Json payload = request_payload(args);
  payload["mode"] = "retrieval_cache_hit";
  log_tool(state.settings.log_file(), state.now(), "graph_retrieve", payload);
  state.action_graph.record_action("retrieve_cache_hit", Json{{"query", args.query}, {"cache_key", key}},
                                   state.now_seconds());
  return out;
}

// The retrieval module's ranking, else the remote graph API's.
Json ranked_result(const GraphRetrieveArgs& args, ServerState& state) {
  std::optional<Json> local =
      rank_local_graph(state.retrieval(), state.graphs.info_graph, state.settings.info_graph_file(),
                       state.settings.locked_project_root, args.query, args.top_files, args.top_edges);
  if (local && common::is_truthy(*local)) return std::move(*local);
  Json body{{"query", args.query}, {"top_files", args.top_files}, {"top_edges", args.top_edges}, {"max_grep_hits", 0}};
  common::Result<Json> remote = state.remote().post(kChatFixPath, body);
  if (!remote) throw std::runtime_error("remote graph API: " + remote.error());
  // An answer of null ranks nothing.
  return remote->is_object() ? std::move(*remote) : Json::object();
}

// Records the query and its first ranked files in the action graph; they
// become the read allowlist.
void record_retrieval(const GraphRetrieveArgs& args, const std::string& qk, const Json& out, ServerState& state) {
  const std::string qid = "query:" + qk;
  state.action_graph.ensure_node(qid, "query", Json{{"text", args.query}});
  // Even a top_files of 0 or less keeps the best file.
  const size_t n = args.top_files > 1 ? static_cast<size_t>(args.top_files) : 1;
  std::vector<std::string> ids = ranked_file_ids(out, n);
  for (const std::string& fid : ids) {
    state.action_graph.ensure_node(fid, "file");
    state.action_graph.add_edge(qid, fid, "retrieved", state.now_seconds());
  }
  state.turn.retrieved_files = std::move(ids);
}

int64_t integer_member(const Json& record, std::string_view key) {
  const Json& v = common::member_or_null(record, key);
  return v.is_null() ? 0 : common::as_integer(v).value_or(0);
}

// Files that earlier reads stored for overlapping query terms, best first:
// most shared terms, then the larger cached reads, then by name.
Json reuse_candidates(ActionGraphStore& action_graph, const std::vector<std::string>& terms) {
  struct Candidate {
    std::string file;
    int64_t overlap;
    int64_t chars;
    int64_t tokens;
    Json last_action;
  };
  std::vector<Candidate> found;
  for (const FileOverlap& f : action_graph.file_overlaps(terms)) {
    if (f.overlap == 0) continue;
    // The "last_action" of a record is passed on as stored.
    auto last_action = f.record.find("last_action");
    found.push_back({f.file, f.overlap, integer_member(f.record, "cached_chars"),
                     integer_member(f.record, "cached_tokens_est"),
                     last_action == f.record.end() ? Json("") : *last_action});
  }
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    if (a.overlap != b.overlap) return a.overlap > b.overlap;
    if (a.tokens != b.tokens) return a.tokens > b.tokens;
    return a.file < b.file;
  });
  Json out = Json::array();
  for (size_t i = 0; i < found.size() && i < kMaxReuseCandidates; ++i) {
    out.push_back(Json{{"file", found[i].file},
                       {"overlap", found[i].overlap},
                       {"cached_chars", found[i].chars},
                       {"cached_tokens_est", found[i].tokens},
                       {"last_action", found[i].last_action}});
  }
  return out;
}

int64_t created_epoch(const Json& entry) { return integer_member(entry, "created_epoch"); }

// Keeps the newest entries by creation time, ordered by that time (equal
// times keep their order).
Json newest_entries(Json& entries, size_t keep) {
  std::vector<std::pair<std::string, Json*>> order;
  for (auto it = entries.begin(); it != entries.end(); ++it) order.emplace_back(it.key(), &it.value());
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return created_epoch(*a.second) < created_epoch(*b.second); });
  Json kept = Json::object();
  for (size_t i = order.size() - keep; i < order.size(); ++i) {
    common::append_new_member(kept, std::move(order[i].first), std::move(*order[i].second));
  }
  return kept;
}

void store_in_cache(const std::string& key, const Json& out, ServerState& state) {
  RetrievalCache retrieval_cache = state.retrieval_cache();
  Json cache = retrieval_cache.load(state.now_seconds());
  std::vector<std::string> files = ranked_file_ids(out, kEveryRankedFile);
  Json mtimes = Json::object();
  for (const std::string& ref : files) mtimes[ref] = reference_mtime_ns(state.settings.project_root, ref);
  Json& entries = cache["entries"];
  if (!entries.is_object()) entries = Json::object();
  // A key stored before keeps its place; only its entry changes.
  entries[key] = Json{{"created_epoch", state.now_seconds()}, {"files", files}, {"mtimes_ns", mtimes}, {"result", out}};
  if (entries.size() > kRetrievalCacheMaxEntries) entries = newest_entries(entries, kRetrievalCacheMaxEntries);
  retrieval_cache.save(std::move(cache), state.now_seconds());
}

Json retrieve(const GraphRetrieveArgs& args, ServerState& state) {
  TurnState& turn = state.turn;
  const std::string qk = query_key(args.query);
  if (!qk.empty() && qk != turn.query_key) {
    turn.reset();
    turn.query_key = qk;
  }
  if (state.settings.enforce_single_retrieve && !qk.empty() && qk == turn.query_key && turn.retrieve_count >= 1 &&
      turn.last_retrieve_out && common::is_truthy(*turn.last_retrieve_out)) {
    return with_member(*turn.last_retrieve_out, "single_retrieve_reused", true);
  }

  const std::string key = cache_key_of_query_key(qk, args.top_files, args.top_edges);
  if (std::optional<Json> hit = cached_result(args, state, key)) return std::move(*hit);

  log_tool(state.settings.log_file(), state.now(), "graph_retrieve", request_payload(args));
  // Written with the retrieval's nodes and edges in one save below.
  state.action_graph.append_action("retrieve", request_payload(args), state.now_seconds());
  Json out = ranked_result(args, state);

  record_retrieval(args, qk, out, state);
  state.action_graph.save(state.now_seconds());

  Json candidates = reuse_candidates(state.action_graph, query_terms(args.query));
  turn.reuse_gate_candidates.clear();
  for (const Json& c : candidates) turn.reuse_gate_candidates.push_back(c["file"].get<std::string>());
  turn.reuse_gate_satisfied = false;
  out["reuse_candidates"] = std::move(candidates);
  out["read_budget"] =
      Json{{"remaining_chars", std::max<int64_t>(0, state.settings.turn_read_budget_chars - turn.used_chars)},
           {"reuse_gate_candidates", turn.reuse_gate_candidates}};
  remember_result(turn, out);

  store_in_cache(key, out, state);
  return out;
}

}  // namespace

Json graph_retrieve(const GraphRetrieveArgs& args, ServerState& state) {
  return with_query_cut(args, &GraphRetrieveArgs::query,
                        [&](const GraphRetrieveArgs& cut) { return retrieve(cut, state); });
}

}  // namespace lumenfold::lodestar
