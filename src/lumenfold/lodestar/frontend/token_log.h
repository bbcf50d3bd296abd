#pragma once
// The token-usage route: a hook reports the tokens one model call used;
// the server prices the call and appends it to token_log.jsonl.

#include <filesystem>
#include <string>
#include <string_view>

namespace lumenfold::lodestar {

inline constexpr char kTokenLogFileName[] = "token_log.jsonl";

struct RouteAnswer {
  int status = 200;
  std::string content_type;
  std::string body;
};

// Prices the call described by the JSON object `body` and appends its
// record to `log_file`. 200 with {"ok":true,"cost_usd":...}; 400 with
// {"ok":false} for a body that is not a JSON object, a count that is not an
// integer, counts whose total does not fit in 64 bits, or a log that cannot
// be written (nothing is logged then).
RouteAnswer log_token_usage(std::string_view body, const std::filesystem::path& log_file, double now_epoch);

// The cost in US dollars of one call, rounded to 6 decimal places.
double token_cost_usd(std::string_view model, int64_t input, int64_t output, int64_t cache_creation,
                      int64_t cache_read);

}  // namespace lumenfold::lodestar
