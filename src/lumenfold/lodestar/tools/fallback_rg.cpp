#include "lumenfold/lodestar/tools/fallback_rg.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/server/child_process.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/server/tool_log.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

constexpr char kSearchProgram[] = "rg";
// A search that takes longer is stuck on something huge; the agent is
// better served by an error it can react to than by a hung tool call.
constexpr std::chrono::seconds kSearchTimeLimit{30};
// rg's exit status when something went wrong (1 only means no match).
constexpr int kSearchFailedStatus = 2;
// rg explains a bad pattern in a few lines (the pattern, a caret, the
// reason); an agent needs those, not a page of per-file complaints.
constexpr size_t kSearchErrorLines = 8;
constexpr size_t kSearchErrorChars = 400;
constexpr std::string_view kSearchErrorPrefix = "rg: ";
// For a failure that printed nothing at all.
constexpr std::string_view kSearchFailedSilently = "failed without a message";

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

struct Collected {
  Json hits = Json::array();
  bool output_ended = false;  // false when reading stopped at max_hits
};

// Reads rg's output line by line (lines end at "\n" only) until it ends or
// `max_hits` hits are collected; the caller's ChildProcess then ends rg, so
// a search with endless output costs no more than the hits asked for.
Collected collect_hits(ChildProcess& child, int64_t max_hits, ChildProcess::Deadline deadline) {
  Collected collected;
  Json& hits = collected.hits;
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
      collected.output_ended = true;
      return collected;
    }
    for (size_t nl; (nl = pending.find('\n', scan_from)) != std::string::npos; scan_from = line_start) {
      add_hit(std::string_view(pending).substr(line_start, nl - line_start), hits);
      line_start = nl + 1;
      // Tested after every line, hit or not, as the ration is counted.
      if (enough()) return collected;
    }
    scan_from = pending.size();
    if (line_start > 0) {
      pending.erase(0, line_start);
      scan_from -= line_start;
      line_start = 0;
    }
  }
}

// The first lines of rg's complaint, as one trimmed text.
std::string search_error_text(std::string_view error_output) {
  const std::string text = common::drop_invalid_utf8(error_output);
  std::vector<std::string_view> lines = common::split_lines(text);
  if (lines.size() > kSearchErrorLines) lines.resize(kSearchErrorLines);
  std::string joined;
  for (std::string_view line : lines) (joined += line) += '\n';
  std::string_view message = common::cut_code_points(common::trim(joined), kSearchErrorChars);
  return std::string(kSearchErrorPrefix) + std::string(message.empty() ? kSearchFailedSilently : message);
}

// A failed search that found nothing is reported, so that a bad pattern is
// not taken for an absent text. One that found hits before failing (an
// unreadable file somewhere) is answered with them: they are real matches.
std::optional<Json> search_failure(ChildProcess& child, const Collected& collected, ChildProcess::Deadline deadline) {
  if (!collected.output_ended || !collected.hits.empty()) return std::nullopt;
  if (child.wait_exit_code(deadline) != kSearchFailedStatus) return std::nullopt;
  return Json{{"ok", false}, {"error", search_error_text(child.error_output())}};
}

Json limit_refusal(const FallbackRgArgs& args, ServerState& state, int64_t calls) {
  const int64_t max_calls = state.settings.fallback_max_calls_per_turn;
  Json payload{{"pattern", args.pattern},
               {"max_hits", args.max_hits},
               {"mode", "fallback_blocked_limit"},
               {"fallback_calls", calls},
               {"fallback_max_calls", max_calls}};
  log_tool(state.settings.log_file(), state.now(), "fallback_rg", payload);
  state.action_graph.record_action("fallback_blocked_limit", payload, state.now_seconds());
  return Json{
      {"ok", false}, {"error", kFallbackLimitError}, {"fallback_calls", calls}, {"fallback_max_calls", max_calls}};
}

}  // namespace

Json fallback_rg(const FallbackRgArgs& args, ServerState& state) {
  // An argument cannot carry a NUL: rg would search for the text before it.
  if (args.pattern.find('\0') != std::string::npos) return Json{{"ok", false}, {"error", kFallbackNulPatternError}};
  const int64_t calls = state.turn.fallback_calls;
  if (calls >= state.settings.fallback_max_calls_per_turn) return limit_refusal(args, state, calls);
  log_tool(state.settings.log_file(), state.now(), "fallback_rg",
           Json{{"pattern", args.pattern}, {"max_hits", args.max_hits}});

  std::vector<std::string> command = search_command(args);
  common::Result<ChildProcess> child = ChildProcess::spawn(command, state.settings.project_root);
  if (!child) throw std::runtime_error(child.error());
  const auto deadline = std::chrono::steady_clock::now() + kSearchTimeLimit;
  Collected collected = collect_hits(*child, args.max_hits, deadline);
  // Only a search that ran counts against the turn's ration, a failed one
  // included: it ran, as it did before failures were reported.
  state.turn.fallback_calls = calls + 1;
  if (std::optional<Json> failure = search_failure(*child, collected, deadline)) return std::move(*failure);
  return Json{{"ok", true}, {"pattern", args.pattern}, {"hits", std::move(collected.hits)}};
}

}  // namespace lumenfold::lodestar
