#include "lumenfold/lodestar/frontend/token_log.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/lodestar/memory/epoch_time.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// US dollars per million tokens.
struct Prices {
  double input, cache_creation, cache_read, output;
};
constexpr Prices kOpusPrices{15.0, 18.75, 1.5, 75.0};
constexpr Prices kOtherPrices{3.0, 3.75, 0.3, 15.0};
constexpr double kTokensPerPriceUnit = 1000000.0;

constexpr char kMalformed[] = "{\"ok\":false}";

// Rounded to 6 decimal places on the exact binary value, half to even, as
// a correctly rounding printf does.
double round6(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", x);
  return std::strtod(buf, nullptr);
}

// The count under `key`: 0 when absent, nullopt when not a count. Only
// integers are counts: a fraction or a boolean is a hook's mistake, which
// truncating would hide; the bound keeps the total from overflowing.
std::optional<int64_t> count(const Json& body, const char* key) {
  auto it = body.find(key);
  if (it == body.end()) return 0;
  std::optional<int64_t> n;
  if (it->is_string()) {
    n = common::parse_integer(it->get_ref<const std::string&>());
  } else if (it->is_number_integer()) {
    n = common::as_integer(*it);
  }
  if (!n || *n < 0 || *n > kMaxTokenCount) return std::nullopt;
  return n;
}

std::string text_or(const Json& body, const char* key, const char* fallback) {
  auto it = body.find(key);
  return it == body.end() ? fallback : common::made_text(*it);
}

}  // namespace

double token_cost_usd(std::string_view model, int64_t input, int64_t output, int64_t cache_creation,
                      int64_t cache_read) {
  const Prices& p = common::to_lower(model).find("opus") != std::string::npos ? kOpusPrices : kOtherPrices;
  double cost = (static_cast<double>(input) * p.input + static_cast<double>(cache_creation) * p.cache_creation +
                 static_cast<double>(cache_read) * p.cache_read + static_cast<double>(output) * p.output) /
                kTokensPerPriceUnit;
  return round6(cost);
}

RouteAnswer log_token_usage(std::string_view body_text, const std::filesystem::path& log_file, double now_epoch) {
  RouteAnswer bad{400, "application/json", kMalformed};
  std::optional<Json> body = common::parse_json(body_text);
  if (!body || !body->is_object()) return bad;
  auto input = count(*body, "input_tokens");
  auto output = count(*body, "output_tokens");
  auto cache_creation = count(*body, "cache_creation_input_tokens");
  auto cache_read = count(*body, "cache_read_input_tokens");
  if (!input || !output || !cache_creation || !cache_read) return bad;
  std::string model = text_or(*body, "model", "unknown");
  double cost = token_cost_usd(model, *input, *output, *cache_creation, *cache_read);

  Json record{{"timestamp", iso_time(now_epoch)},
              {"model", model},
              {"input_tokens", *input},
              {"output_tokens", *output},
              {"cache_creation_input_tokens", *cache_creation},
              {"cache_read_input_tokens", *cache_read},
              {"total_tokens", *input + *output + *cache_creation + *cache_read},
              {"cost_usd", cost},
              {"project", text_or(*body, "project", "")},
              {"description", text_or(*body, "description", "")},
              {"mode", "session"}};
  if (!common::append_line(log_file, common::dump_spaced(record))) return bad;
  return {200, "application/json", common::dump_compact(Json{{"ok", true}, {"cost_usd", cost}})};
}

}  // namespace lumenfold::lodestar
