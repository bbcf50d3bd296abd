#pragma once

#include <cstdint>
#include <string>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/arg_params.h"

namespace lumenfold::lodestar {

class ServerState;

inline constexpr char kFallbackRgDescription[] = "Controlled fallback grep if retriever confidence is low.";
inline constexpr char kFallbackLimitError[] = "fallback_rg call limit reached for this query turn";
inline constexpr char kFallbackNulPatternError[] =
    "fallback_rg pattern must not contain a NUL character (write \\x00 to search for one)";

struct FallbackRgArgs {
  std::string pattern;
  int64_t max_hits;
};
inline const ArgParams<FallbackRgArgs> kFallbackRgParams = {
    required_arg<ParamType::kString>("pattern", &FallbackRgArgs::pattern),
    defaulted_arg<ParamType::kInteger>("max_hits", &FallbackRgArgs::max_hits, 30),
};

// A text search of the project with `rg` (line numbers, smart case, at most
// `max_hits` matches per file), rationed to the allowed calls per query
// turn. The pattern is always passed as a pattern, never as an option.
//
// Outcomes, in the order they are checked:
// - A pattern holding a NUL character (which no program argument can carry
//   whole): {"ok": false, "error": kFallbackNulPatternError}; rg is not run,
//   nothing is logged and the call does not count.
// - The turn's calls are used up: {"ok": false, "error":
//   kFallbackLimitError, "fallback_calls", "fallback_max_calls"}; rg is not
//   run, and the refusal is logged and recorded as an action.
// - rg ran, printed no hits and failed (exit status 2: an invalid pattern,
//   an unreadable path): {"ok": false, "error": "rg: " + the first lines of
//   its error output, trimmed, at most 400 characters}. The call counts.
// - Otherwise {"ok": true, "pattern", "hits"}: each hit {"file", "line",
//   "text"} as rg prints them (the line number stays text), in output order,
//   at most `max_hits` of them (reading stops there and rg is ended). No
//   match gives no hits; hits found before a failure (say, one unreadable
//   file) are answered as found. The call counts.
//
// Throws std::runtime_error when rg cannot be started or runs longer than
// 30 seconds; the call then does not count.
common::Json fallback_rg(const FallbackRgArgs& args, ServerState& state);

}  // namespace lumenfold::lodestar
