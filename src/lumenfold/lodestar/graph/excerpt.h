#pragma once
// The parts of a file text that matter to a query.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::lodestar {

// The parts of `text` around lines that mention a term (12 lines before and
// after each hit, chunks joined by an excerpt marker), at most `max_chars`
// code points; the head of `text` when no line mentions a term. `terms` are
// matched as lower-case substrings. A negative `max_chars` counts as 0.
std::string excerpt_by_terms(std::string_view text, const std::vector<std::string>& terms, int64_t max_chars);

}  // namespace lumenfold::lodestar
