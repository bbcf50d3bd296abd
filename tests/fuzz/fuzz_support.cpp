#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "lumenfold/common/utf8.h"

namespace lumenfold::fuzz {

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

void require_equal(const common::Json& actual, const common::Json& expected, const char* what) {
  if (actual == expected) return;
  std::fprintf(stderr, "property failed: %s\n  actual:   %s\n  expected: %s\n", what,
               common::dump_compact(actual).c_str(), common::dump_compact(expected).c_str());
  std::abort();
}

common::Json parse_or_abort(std::string_view text, const char* what) {
  std::optional<common::Json> doc = common::parse_json(text);
  if (!doc) {
    std::fprintf(stderr, "property failed: %s\n  text: %.*s\n", what, static_cast<int>(text.size()), text.data());
    std::abort();
  }
  return std::move(*doc);
}

std::string as_source_text(std::string_view bytes) {
  return common::normalize_newlines(common::drop_invalid_utf8(bytes));
}

}  // namespace lumenfold::fuzz
