#pragma once
// What a text costs an agent, roughly, in tokens.

#include <cstdint>
#include <string_view>

namespace lumenfold::lodestar {

// Code points / 4, at least 1 for non-empty text.
int64_t est_tokens(std::string_view text);

}  // namespace lumenfold::lodestar
