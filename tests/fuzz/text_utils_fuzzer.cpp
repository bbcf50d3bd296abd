// Query terms and excerpts. The input is "<max_chars>\n<query>\n<file
// text>", so seeds stay readable; text is made valid UTF-8 first, as every
// query and file text the server handles is. Query terms are few, distinct,
// lower-case ASCII words that are not stop words, and the key of a key gives
// the same terms; an excerpt never exceeds its budget, and without terms it
// is the head of the text.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "fuzz_support.h"
#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/graph/excerpt.h"
#include "lumenfold/lodestar/graph/query_terms.h"
#include "lumenfold/lodestar/graph/token_estimate.h"

namespace {

using lumenfold::fuzz::require;
using namespace lumenfold::lodestar;

// Used when the first line is not an integer.
constexpr int64_t kDefaultMaxChars = 2000;
// Larger budgets only copy more text.
constexpr int64_t kMaxBudget = 1 << 16;

std::string_view take_line(std::string_view& rest) {
  size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return line;
}

bool is_term_byte(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

void check_terms(std::string_view query) {
  const std::vector<std::string> terms = query_terms(query);
  require(terms.size() <= 8, "at most eight terms");
  std::unordered_set<std::string> seen;
  for (const std::string& term : terms) {
    require(term.size() >= 3, "terms have three characters or more");
    for (char c : term) require(is_term_byte(c), "terms are lower-case ASCII words");
    require(seen.insert(term).second, "terms are distinct");
  }
  const std::string key = query_key(query);
  require(query_terms(key) == terms, "a query key has the query's terms");
  require(query_key(key) == key, "a query key is its own key");
}

void check_excerpt(std::string_view text, const std::vector<std::string>& terms, int64_t max_chars) {
  const std::string excerpt = excerpt_by_terms(text, terms, max_chars);
  require(static_cast<int64_t>(lumenfold::common::code_point_count(excerpt)) <= std::max<int64_t>(0, max_chars),
          "an excerpt keeps to its budget");
  require(lumenfold::common::drop_invalid_utf8(excerpt) == excerpt, "an excerpt is valid UTF-8");
  if (terms.empty()) {
    require(text.starts_with(excerpt), "without terms an excerpt is the head of the text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = lumenfold::common::drop_invalid_utf8(lumenfold::fuzz::as_text(data, size));
  std::string_view rest = input;
  std::optional<int64_t> budget = lumenfold::common::parse_integer(take_line(rest));
  const int64_t max_chars = budget ? std::clamp<int64_t>(*budget, -kMaxBudget, kMaxBudget) : kDefaultMaxChars;
  const std::string_view query = take_line(rest);

  check_terms(query);
  check_excerpt(rest, query_terms(query), max_chars);
  check_excerpt(rest, {}, max_chars);
  require(est_tokens(rest) >= (rest.empty() ? 0 : 1), "non-empty text costs a token");
  return 0;
}
