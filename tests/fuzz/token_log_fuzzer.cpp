// The token-usage route, fed the input as the request body. It never
// throws; a body that is not a JSON object, or whose counts are not
// integers, gets 400 and logs nothing; otherwise one line is appended, a
// JSON object whose counts add up and whose cost is the one answered.

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/frontend/token_log.h"
#include "test_support/temp_dir.h"

namespace {

using lumenfold::common::Json;
using lumenfold::fuzz::parse_or_abort;
using lumenfold::fuzz::require;
using lumenfold::fuzz::require_equal;
using namespace lumenfold::lodestar;

constexpr double kNow = 1769850902.5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumenfold::testing::TempDir dir;
  const std::filesystem::path log_file = dir.path() / kTokenLogFileName;
  const std::string_view body = lumenfold::fuzz::as_text(data, size);

  RouteAnswer answer = log_token_usage(body, log_file, kNow);
  std::optional<std::string> logged = lumenfold::common::read_file(log_file);
  std::optional<Json> doc = lumenfold::common::parse_json(body);
  if (!doc || !doc->is_object()) require(answer.status == 400, "a body that is not an object is refused");
  if (answer.status != 200) {
    require(answer.status == 400 && answer.body == "{\"ok\":false}", "a refusal is 400 {\"ok\":false}");
    require(!logged, "a refused call logs nothing");
    return 0;
  }
  Json reply = parse_or_abort(answer.body, "the answer is JSON");
  require(logged && !logged->empty() && logged->back() == '\n' && logged->find('\n') == logged->size() - 1,
          "one line is logged");
  Json record = parse_or_abort(*logged, "the logged line is JSON");
  require(record.is_object(), "the logged line is an object");
  __int128 total = 0;
  for (const char* count :
       {"input_tokens", "output_tokens", "cache_creation_input_tokens", "cache_read_input_tokens"}) {
    require(record[count].is_number_integer(), "the logged counts are integers");
    total += record[count].get<int64_t>();
  }
  require(record["total_tokens"].is_number_integer() && record["total_tokens"].get<int64_t>() == total,
          "the total is the sum of the counts");
  require_equal(record["cost_usd"], reply["cost_usd"], "the logged cost is the answered one");
  return 0;
}
