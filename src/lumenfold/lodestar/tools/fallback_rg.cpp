#include "lumenfold/lodestar/tools/fallback_rg.h"

#include <chrono>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/graph/text_utils.h"
#include "lumenfold/lodestar/tools/child_process.h"
#include "lumenfold/lodestar/tools/server_state.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

constexpr char kSearchProgram[] = "rg";
// A search that takes longer is stuck on something huge; the agent is
// better served by an error it can react to than by a hung tool call.
constexpr std::chrono::seconds kSearchTimeLimit{30};

// "-e" keeps a pattern such as "--pre=sh" a pattern: rg would otherwise
// read it as an option (one that even runs a program per file).
std::vector<std::string> search_command(const FallbackRgArgs& args) {
  return {kSearchProgram, "-n", "-S", "--max-count", std::to_string(args.max_hits), "-e", args.pattern, "."};
}

// "path:line:text", split at the first two colons only, so the text keeps
// its own colons. Lines without two colons are not hits.
void add_hit(std::string_view raw_line, Json& hits) {
  std::string line = common::drop_invalid_utf8(raw_line);
  size_t first = line.find(':');
  if (first == std::string::npos) return;
  size_t second = line.find(':', first + 1);
  if (second == std::string::npos) return;
  hits.push_back(Json{{"file", line.substr(0, first)},
                      {"line", line.substr(first + 1, second - first - 1)},
                      {"text", line.substr(second + 1)}});
}

// Reads rg's output line by line (lines end at "\n" only) until it ends or
// `max_hits` hits are collected; the caller's ChildProcess then ends rg, so
// a search with endless output costs no more than the hits asked for.
Json collect_hits(ChildProcess& child, int64_t max_hits) {
  const auto deadline = std::chrono::steady_clock::now() + kSearchTimeLimit;
  Json hits = Json::array();
  auto enough = [&] { return static_cast<int64_t>(hits.size()) >= max_hits; };
  std::string pending;
  size_t line_start = 0;
  size_t scan_from = 0;
  for (;;) {
    ChildProcess::ReadStatus status = child.read_some(pending, deadline);
    if (status == ChildProcess::ReadStatus::kTimeout) {
      throw std::runtime_error("rg ran longer than " + std::to_string(kSearchTimeLimit.count()) + " seconds");
    }
    if (status == ChildProcess::ReadStatus::kEnd) {
      if (line_start < pending.size()) add_hit(std::string_view(pending).substr(line_start), hits);
      return hits;
    }
    for (size_t nl; (nl = pending.find('\n', scan_from)) != std::string::npos; scan_from = line_start) {
      add_hit(std::string_view(pending).substr(line_start, nl - line_start), hits);
      line_start = nl + 1;
      // Tested after every line, hit or not, as the ration is counted.
      if (enough()) return hits;
    }
    scan_from = pending.size();
    if (line_start > 0) {
      pending.erase(0, line_start);
      scan_from -= line_start;
      line_start = 0;
    }
  }
}

Json limit_refusal(const FallbackRgArgs& args, ServerState& state, int64_t calls) {
  const int64_t max_calls = state.settings.fallback_max_calls_per_turn;
  Json payload{{"pattern", args.pattern},
               {"max_hits", args.max_hits},
               {"mode", "fallback_blocked_limit"},
               {"fallback_calls", calls},
               {"fallback_max_calls", max_calls}};
  log_tool(state.settings.log_file(), "fallback_rg", payload);
  state.action_graph.record_action(state.settings.action_graph_file(), "fallback_blocked_limit", payload,
                                   state.now_seconds());
  return Json{
      {"ok", false}, {"error", kFallbackLimitError}, {"fallback_calls", calls}, {"fallback_max_calls", max_calls}};
}

}  // namespace

FallbackRgArgs parse_fallback_rg_args(const Json& args) {
  return {args.at("pattern").get<std::string>(), args.at("max_hits").get<int64_t>()};
}

Json fallback_rg(const FallbackRgArgs& args, ServerState& state) {
  const int64_t calls = state.turn.fallback_calls;
  if (calls >= state.settings.fallback_max_calls_per_turn) return limit_refusal(args, state, calls);
  log_tool(state.settings.log_file(), "fallback_rg", Json{{"pattern", args.pattern}, {"max_hits", args.max_hits}});

  std::vector<std::string> command = search_command(args);
  common::Result<ChildProcess> child = ChildProcess::spawn(command, state.settings.project_root);
  if (!child) throw std::runtime_error(child.error());
  Json hits = collect_hits(*child, args.max_hits);
  // Only a search that ran counts against the turn's ration.
  state.turn.fallback_calls = calls + 1;
  return Json{{"ok", true}, {"pattern", args.pattern}, {"hits", std::move(hits)}};
}

}  // namespace lumenfold::lodestar
