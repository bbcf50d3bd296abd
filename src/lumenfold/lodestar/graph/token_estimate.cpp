#include "lumenfold/lodestar/graph/token_estimate.h"

#include <algorithm>

#include "lumenfold/common/utf8.h"

namespace lumenfold::lodestar {
namespace {

// A rough token cost: about four characters per token for code and prose.
constexpr int64_t kCharsPerToken = 4;

}  // namespace

int64_t est_tokens(std::string_view text) {
  if (text.empty()) return 0;
  const int64_t chars = static_cast<int64_t>(common::code_point_count(text));
  return std::max<int64_t>(1, chars / kCharsPerToken);
}

}  // namespace lumenfold::lodestar
