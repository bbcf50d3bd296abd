#include "lumenfold/lodestar/tools/graph_action_summary.h"

// The limits slice like the scripting language the agents' hooks are
// written in: "the last 0" means the whole list, and negative limits count
// from the other end. Agents pass 0 to mean "everything", so that reading
// is kept for the other values too.

#include <algorithm>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/text_search.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/actions/action_log.h"
#include "lumenfold/lodestar/actions/file_records.h"
#include "lumenfold/lodestar/graph/query_terms.h"
#include "lumenfold/lodestar/mcp/query_limit.h"
#include "lumenfold/lodestar/memory/memory_search.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// A decision is worth two file matches per query term in its summary.
constexpr int64_t kDecisionTermWeight = 2;

// The index where "the last `n`" of `size` elements begins.
size_t tail_start(size_t size, int64_t n) {
  if (n > 0) return size > static_cast<size_t>(n) ? size - static_cast<size_t>(n) : 0;
  return std::min(size, static_cast<size_t>(-n));
}

// How many elements "the first `n`" of `size` elements keeps.
size_t head_count(size_t size, int64_t n) {
  if (n >= 0) return std::min(size, static_cast<size_t>(n));
  size_t dropped = static_cast<size_t>(-n);
  return size > dropped ? size - dropped : 0;
}

int64_t member_integer(const Json& record, const char* key) {
  auto it = record.find(key);
  return it == record.end() ? 0 : common::as_integer(*it).value_or(0);
}

// The text items of `record[key]` when it is a list.
std::set<std::string> text_set(const Json& record, const char* key) {
  std::set<std::string> out;
  auto it = record.find(key);
  if (it == record.end() || !it->is_array()) return out;
  for (const Json& item : *it) {
    if (item.is_string()) out.insert(item.get<std::string>());
  }
  return out;
}

struct RelevantFile {
  std::string file;
  int64_t overlap;
  int64_t edited_count;
  int64_t tokens;
  Json item;
};

RelevantFile relevant_file(const std::string& file, const Json& record, int64_t overlap) {
  int64_t edited = member_integer(record, "edited_count");
  int64_t tokens = member_integer(record, "cached_tokens_est");
  Json item{
      {"file", file},           {"overlap", overlap},          {"last_action", record.value("last_action", Json(""))},
      {"edited_count", edited}, {"cached_tokens_est", tokens}, {"last_ts", record.value("last_ts", Json(""))}};
  return {file, overlap, edited, tokens, std::move(item)};
}

// Touched files sharing a term with a non-empty query (every touched file
// for an empty one), most relevant first.
std::vector<RelevantFile> relevant_files(const Json& action_graph, const std::string& query,
                                         const std::vector<std::string>& terms) {
  std::vector<RelevantFile> out;
  for (const FileOverlap& f : file_overlaps(action_graph, terms)) {
    if (!query.empty() && f.overlap == 0) continue;
    out.push_back(relevant_file(f.file, f.record, f.overlap));
  }
  std::sort(out.begin(), out.end(), [](const RelevantFile& a, const RelevantFile& b) {
    if (a.overlap != b.overlap) return a.overlap > b.overlap;
    if (a.edited_count != b.edited_count) return a.edited_count > b.edited_count;
    if (a.tokens != b.tokens) return a.tokens > b.tokens;
    return a.file < b.file;
  });
  return out;
}

int64_t decision_score(const Json& decision, const std::set<std::string>& terms,
                       const std::set<std::string>& relevant) {
  if (!decision.is_object()) return 0;
  std::string summary = common::to_lower(common::get_text(decision, "summary"));
  int64_t term_hits = std::count_if(terms.begin(), terms.end(),
                                    [&](const std::string& t) { return common::contains_text(summary, t); });
  std::set<std::string> files = text_set(decision, "files");
  int64_t file_hits =
      std::count_if(files.begin(), files.end(), [&](const std::string& f) { return relevant.count(f) > 0; });
  return kDecisionTermWeight * term_hits + file_hits;
}

// The decisions that matter for a query with terms; the newest ones when
// there is nothing to match against.
Json pick_decisions(const Json& decisions, const std::string& query, const std::set<std::string>& terms,
                    const std::vector<RelevantFile>& all_relevant) {
  Json out = Json::array();
  if (query.empty() || terms.empty()) {
    for (size_t i = tail_start(decisions.size(), kSummaryDecisions); i < decisions.size(); ++i) {
      out.push_back(decisions[i]);
    }
    return out;
  }
  std::set<std::string> relevant;
  for (const RelevantFile& f : all_relevant) relevant.insert(f.file);
  std::vector<std::pair<int64_t, const Json*>> scored;
  for (const Json& d : decisions) {
    int64_t score = decision_score(d, terms, relevant);
    if (score > 0) scored.emplace_back(score, &d);
  }
  std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return member_integer(*a.second, "ts") > member_integer(*b.second, "ts");
  });
  for (size_t i = 0; i < scored.size() && i < kSummaryDecisions; ++i) out.push_back(*scored[i].second);
  return out;
}

Json summarize(const GraphActionSummaryArgs& args, ServerState& state) {
  const Settings& settings = state.settings;
  const Json& graph = state.action_graph.document();
  const Json& actions = actions_of(graph);
  Json recent = Json::array();
  for (size_t i = tail_start(actions.size(), args.limit); i < actions.size(); ++i) recent.push_back(actions[i]);
  const std::string archive = common::get_text(graph, "decisions_archive");
  const Json& all_decisions = common::member_or_null(graph, "decisions");

  const std::vector<std::string> term_list = query_terms(args.query);
  const std::set<std::string> terms(term_list.begin(), term_list.end());
  std::vector<RelevantFile> relevant = relevant_files(graph, args.query, term_list);
  // An absent list (null) reads as empty.
  Json decisions = pick_decisions(all_decisions, args.query, terms, relevant);

  Json payload{{"query", args.query}, {"limit", args.limit}};
  log_tool(settings.log_file(), state.now(), "graph_action_summary", payload);
  state.action_graph.record_action("action_summary", payload, state.now_seconds());

  Json relevant_items = Json::array();
  std::vector<std::string> related;
  for (size_t i = 0; i < head_count(relevant.size(), args.limit); ++i) {
    related.push_back(relevant[i].file);
    relevant_items.push_back(std::move(relevant[i].item));
  }
  SymbolLookup symbols = state.symbols();
  std::vector<Json> memories =
      search_context_store(MemoryScope{state.context_store, symbols, state.now(), settings.session_start_epoch},
                           args.query, related, kSummaryMemories);

  Json out{{"ok", true},
           {"recent_actions", std::move(recent)},
           {"relevant_files", std::move(relevant_items)},
           {"decisions", std::move(decisions)},
           {"memories", memories}};
  if (!archive.empty()) out["decisions_archive"] = archive;
  return out;
}

}  // namespace

Json graph_action_summary(const GraphActionSummaryArgs& args, ServerState& state) {
  return with_query_cut(args, &GraphActionSummaryArgs::query,
                        [&](const GraphActionSummaryArgs& cut) { return summarize(cut, state); });
}

}  // namespace lumenfold::lodestar
