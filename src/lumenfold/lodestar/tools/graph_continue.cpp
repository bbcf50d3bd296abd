#include "lumenfold/lodestar/tools/graph_continue.h"

// Only three top-level members of the information graph decide the first
// routes: "node_count", "file_count" and "root". They come from the graph
// cache, which costs one stat per call; the file is read here only when the
// cache refuses it (a graph of another project, a malformed node list), to
// tell those cases from a missing graph.

#include <algorithm>
#include <array>
#include <filesystem>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json_simd.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/lodestar/actions/action_evidence.h"
#include "lumenfold/lodestar/actions/file_records.h"
#include "lumenfold/lodestar/graph/info_graph_cache.h"
#include "lumenfold/lodestar/graph/local_retrieval.h"
#include "lumenfold/lodestar/graph/retrieval_module.h"
#include "lumenfold/lodestar/mcp/query_limit.h"
#include "lumenfold/lodestar/memory/memory_search.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"
#include "lumenfold/lodestar/tools/graph_retrieve.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

// The scanner program, installed beside this server.
constexpr char kSurveyorProgram[] = "surveyor";
constexpr char kIngestRoute[] = "/ingest-graph";
// Below this many files there is nothing to explore: read what is named.
constexpr int64_t kColdStartMaxFiles = 5;
// Words of a request to start something rather than change it. Matched as
// substrings of the lower-cased query, so "renew" and "apply" match too.
constexpr std::array<std::string_view, 18> kGreenfieldWords = {
    "design",   "create",    "build", "plan",       "architecture", "structure",
    "scaffold", "implement", "setup", "initialize", "how should",   "what should",
    "start",    "begin",     "new",   "project",    "app",          "service"};
// Files recommended, and memories offered with them.
constexpr size_t kRecommendedFiles = 3;
constexpr int64_t kContinueMemories = 3;
// Best retrieval scores that make the ranking trustworthy, and how many
// greps and extra files the agent may add at each level.
constexpr int64_t kHighConfidenceScore = 10;
constexpr int64_t kMediumConfidenceScore = 4;
constexpr int64_t kHighSupplementary = 0;
constexpr int64_t kMediumSupplementary = 2;
constexpr int64_t kLowSupplementary = 3;
// Exploration needs room to look around, whatever the ranking says.
constexpr int64_t kExploreMinSupplementary = 2;
constexpr char kExploreIntent[] = "explore";

enum class Confidence { kHigh, kMedium, kLow };

std::string confidence_text(Confidence c) {
  switch (c) {
    case Confidence::kHigh:
      return "high";
    case Confidence::kMedium:
      return "medium";
    case Confidence::kLow:
      return "low";
  }
  return "low";
}

struct Band {
  Confidence confidence;
  int64_t supplementary;
};

Band band_for_score(int64_t top_score) {
  if (top_score >= kHighConfidenceScore) return {Confidence::kHigh, kHighSupplementary};
  if (top_score >= kMediumConfidenceScore) return {Confidence::kMedium, kMediumSupplementary};
  return {Confidence::kLow, kLowSupplementary};
}

Band explore_band(Band band) {
  if (band.confidence == Confidence::kHigh) band.confidence = Confidence::kMedium;
  band.supplementary = std::max(band.supplementary, kExploreMinSupplementary);
  return band;
}

// The members of the graph that decide the first routes.
constexpr const char* kHeadMembers[] = {"node_count", "file_count", "root"};

// The members of kHeadMembers that the graph document has.
Json head_of(const Json& graph) {
  Json head = Json::object();
  for (const char* key : kHeadMembers) {
    auto it = graph.find(key);
    if (it != graph.end()) head[key] = *it;
  }
  return head;
}

std::optional<Json> read_graph_head(const fs::path& graph_file) {
  std::optional<std::string> text = common::read_file(graph_file);
  if (!text) return std::nullopt;
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = common::parse_fast(parser, *text);
  if (!doc || !doc->is_object()) return std::nullopt;
  Json head = Json::object();
  for (const char* key : kHeadMembers) {
    simdjson::dom::element value;
    if ((*doc)[key].get(value) == simdjson::SUCCESS) head[key] = common::to_json(value);
  }
  return head;
}

// The head of the project's information graph; nullopt when there is none
// (no file, not JSON, not an object).
std::optional<Json> graph_head(ServerState& state) {
  if (std::shared_ptr<const Json> graph =
          state.graphs.info_graph.get(state.settings.info_graph_file(), state.settings.locked_project_root))
    return head_of(*graph);
  return read_graph_head(state.settings.info_graph_file());
}

// A count member as an integer; `fallback` when absent or not an integer.
int64_t count_member(const Json& head, const char* key, int64_t fallback) {
  auto it = head.find(key);
  if (it == head.end()) return fallback;
  return common::as_integer(*it).value_or(fallback);
}

bool has_no_nodes(const Json& head) {
  auto it = head.find("node_count");
  return it == head.end() || common::as_integer(*it) == 0;
}

// Where the agent posts a graph it scanned itself: this server's own route
// when it ranks locally (no remote API runs then), else the remote API's.
// A server listening on every address is reached on the loopback one.
std::string ingest_url(const Settings& settings) {
  if (!settings.tsl_local_retrieval || !settings.listening_port) return settings.tsl_base + kIngestRoute;
  std::string host = settings.listen_host;
  if (host.empty() || host == "0.0.0.0" || host == "::") host = "127.0.0.1";
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(*settings.listening_port) + kIngestRoute;
}

Json needs_project(const GraphContinueArgs& args, const Settings& settings) {
  return Json{{"ok", false},
              {"needs_project", true},
              {"query", args.query},
              {"project_root", settings.project_root.string()},
              {"surveyor", (program_directory() / kSurveyorProgram).string()},
              {"ingest_url", ingest_url(settings)}};
}

Json graph_of_other_project(const GraphContinueArgs& args, const Settings& settings, const fs::path& graph_root) {
  const std::string root = settings.project_root.string();
  return Json{{"ok", false},
              {"needs_project", true},
              {"query", args.query},
              {"project_root", root},
              {"stale_graph_for", graph_root.string()},
              {"hint", "info_graph.json under .tessel/ was built for " + graph_root.string() + ", not " + root +
                           ". Call graph_scan(project_root='" + root + "') to rebuild."}};
}

bool sounds_greenfield(std::string_view query) {
  std::string lower = common::to_lower(query);
  return std::any_of(kGreenfieldWords.begin(), kGreenfieldWords.end(),
                     [&](std::string_view word) { return lower.find(word) != std::string::npos; });
}

Json retrieve(const GraphContinueArgs& args, ServerState& state) {
  return graph_retrieve(GraphRetrieveArgs{args.query, args.top_files, args.top_edges}, state);
}

// The retrieval's ranked members; nullptr when it has none.
const Json* graph_files(const Json& retrieved) {
  auto it = retrieved.find("graph_files");
  return (it != retrieved.end() && it->is_array() && !it->empty()) ? &*it : nullptr;
}

int64_t top_score(const Json& retrieved) {
  const Json* files = graph_files(retrieved);
  if (files == nullptr || !(*files)[0].is_object()) return 0;
  const Json& best = (*files)[0];
  auto score = best.find("_score");
  return score == best.end() ? 0 : common::as_integer(*score).value_or(0);
}

Json cold_start(const GraphContinueArgs& args, ServerState& state, int64_t file_count) {
  const std::string root = state.settings.project_root.string();
  if (!sounds_greenfield(args.query)) {
    return Json{{"ok", true},
                {"mode", "skip"},
                {"project_root", root},
                {"cold_start_reason", "empty_project"},
                {"file_count", file_count},
                {"hint", kColdStartHint},
                {"next_best_action", kColdStartNextAction}};
  }
  Json retrieved = retrieve(args, state);
  return Json{{"ok", true},
              {"mode", "bootstrap_explore"},
              {"project_root", root},
              {"note", kColdStartNote},
              {"recommended_files", ranked_file_ids(retrieved)},
              {"graph_edges", retrieved.value("graph_edges", Json::array())}};
}

// "write" for a file with registered edits, "read" for one touched
// otherwise, "new" for one the action graph does not know.
std::string access_type(const std::string& file, const Json& files_meta) {
  auto it = files_meta.is_object() ? files_meta.find(file) : files_meta.end();
  if (it == files_meta.end() || !it->is_object()) return "new";
  auto edited = it->find("edited_count");
  if (edited != it->end() && common::as_integer(*edited).value_or(0) > 0) return "write";
  auto last = it->find("last_action");
  return (last != it->end() && common::is_truthy(*last)) ? "read" : "new";
}

Json recommended(const std::vector<std::string>& files, const Json& files_meta) {
  Json items = Json::array();
  for (const std::string& f : files) items.push_back(Json{{"file", f}, {"access_type", access_type(f, files_meta)}});
  return items;
}

Json memories_for(ServerState& state, const std::string& query, const std::vector<std::string>& files) {
  SymbolLookup symbols = state.symbols();
  return search_context_store(
      MemoryScope{state.context_store, symbols, state.now(), state.settings.session_start_epoch}, query, files,
      kContinueMemories);
}

// The files earlier turns touched for enough of the query's terms, at
// most three; narrowed to those an earlier action named when any was.
// Empty when no file shares enough terms.
std::vector<std::string> memory_first_files(const Json& history, int64_t min_overlap) {
  std::vector<std::string> candidates;
  for (const Json& hit : history.value("file_hits", Json::array())) {
    if (candidates.size() >= kRecommendedFiles) break;
    if (!hit.is_object() || common::as_integer(hit.value("overlap", Json(0))).value_or(0) < min_overlap) continue;
    candidates.push_back(common::made_text(hit.value("file", Json(""))));
  }
  std::set<std::string> touched;
  for (const Json& hit : history.value("action_hits", Json::array())) {
    if (hit.is_object()) touched.insert(common::made_text(hit.value("file", Json(""))));
  }
  std::vector<std::string> named;
  std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(named),
               [&](const std::string& f) { return touched.count(f) > 0; });
  return named.empty() ? candidates : named;
}

Json memory_first(const GraphContinueArgs& args, ServerState& state, const std::vector<std::string>& files,
                  const Json& files_meta) {
  std::string intent = classify_intent_or_general(state.retrieval(), args.query);
  bool explore = intent == kExploreIntent;
  Json out{{"ok", true},
           {"mode", "memory_first"},
           {"project_root", state.settings.project_root.string()},
           {"confidence", confidence_text(explore ? Confidence::kMedium : Confidence::kHigh)},
           {"max_supplementary_greps", explore ? 1 : 0},
           {"max_supplementary_files", 0},
           {"query", args.query},
           {"intent", intent},
           {"recommended_files", recommended(files, files_meta)},
           {"memories", memories_for(state, args.query, files)}};
  log_tool(state.settings.log_file(), state.now(), "graph_continue",
           Json{{"query", args.query}, {"mode", "memory_first"}, {"recommended_files", files}});
  state.action_graph.record_action("continue_memory_first", Json{{"query", args.query}, {"recommended_files", files}},
                                   state.now_seconds());
  return out;
}

Json retrieve_then_read(const GraphContinueArgs& args, ServerState& state, const Json& files_meta) {
  Json retrieved = retrieve(args, state);
  std::vector<std::string> ids = ranked_file_ids(retrieved);
  Band band = band_for_score(top_score(retrieved));
  std::string intent = classify_intent_or_general(state.retrieval(), args.query);
  if (intent == kExploreIntent) {
    band = explore_band(band);
    state.turn.explore_budget_chars = state.settings.explore_read_budget_chars;
    state.turn.explore_hard_max_chars = state.settings.explore_max_read_chars;
  }
  std::vector<std::string> top(ids.begin(),
                               ids.begin() + static_cast<std::ptrdiff_t>(std::min(ids.size(), kRecommendedFiles)));
  std::string confidence = confidence_text(band.confidence);
  Json out{{"ok", true},
           {"mode", "retrieve_then_read"},
           {"project_root", state.settings.project_root.string()},
           {"confidence", confidence},
           {"max_supplementary_greps", band.supplementary},
           {"max_supplementary_files", band.supplementary},
           {"query", args.query},
           {"intent", intent},
           {"recommended_files", recommended(top, files_meta)},
           {"memories", memories_for(state, args.query, top)}};
  log_tool(state.settings.log_file(), state.now(), "graph_continue",
           Json{{"query", args.query},
                {"mode", "retrieve_then_read"},
                {"confidence", confidence},
                {"recommended_files", top}});
  state.action_graph.record_action("continue_retrieve", Json{{"query", args.query}, {"recommended_files", top}},
                                   state.now_seconds());
  return out;
}

Json continue_query(const GraphContinueArgs& args, ServerState& state) {
  const Settings& settings = state.settings;
  std::optional<Json> head = graph_head(state);
  if (!head || has_no_nodes(*head)) return needs_project(args, settings);
  if (settings.locked_project_root) {
    if (std::optional<fs::path> other = other_project_root(*head, settings.project_root)) {
      return graph_of_other_project(args, settings, *other);
    }
  }
  int64_t file_count = count_member(*head, "file_count", count_member(*head, "node_count", 0));
  if (file_count < kColdStartMaxFiles) return cold_start(args, state, file_count);

  const Json& action_graph = state.action_graph.document();
  Json history = search_action_history(action_graph, args.query, args.limit);
  // A copy: the retrieval below changes the action graph.
  Json files_meta = file_records(action_graph);
  std::vector<std::string> remembered = memory_first_files(history, settings.memory_first_min_overlap);
  if (!remembered.empty()) return memory_first(args, state, remembered, files_meta);
  return retrieve_then_read(args, state, files_meta);
}

}  // namespace

Json graph_continue(const GraphContinueArgs& args, ServerState& state) {
  return with_query_cut(args, &GraphContinueArgs::query,
                        [&](const GraphContinueArgs& cut) { return continue_query(cut, state); });
}

}  // namespace lumenfold::lodestar
