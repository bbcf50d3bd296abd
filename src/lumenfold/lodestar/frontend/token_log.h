#pragma once
// The token-usage route: a hook reports the tokens one model call used;
// the server prices the call and appends it to token_log.jsonl.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace lumenfold::lodestar {

inline constexpr char kTokenLogFileName[] = "token_log.jsonl";

// The largest token count one call may report: a million times the largest
// context any model has, so no real call comes near it, yet the four counts
// of a call add up far below the int64 limit (and are priced exactly).
inline constexpr int64_t kMaxTokenCount = 1000000000000;  // 10^12

struct RouteAnswer {
  int status = 200;
  std::string content_type;
  std::string body;
};

// Prices the call described by the JSON object `body` and appends its
// record to `log_file`. Each count ("input_tokens", "output_tokens",
// "cache_creation_input_tokens", "cache_read_input_tokens"; 0 when absent)
// must be a JSON integer or a text holding one ("12"), from 0 to
// kMaxTokenCount. 200 with {"ok":true,"cost_usd":...}; 400 with
// {"ok":false} for a body that is not a JSON object, any other count (a
// fraction, a boolean, a negative or larger number, null), or a log that
// cannot be written (nothing is logged then).
RouteAnswer log_token_usage(std::string_view body, const std::filesystem::path& log_file, double now_epoch);

// The cost in US dollars of one call, rounded to 6 decimal places.
double token_cost_usd(std::string_view model, int64_t input, int64_t output, int64_t cache_creation,
                      int64_t cache_read);

}  // namespace lumenfold::lodestar
