#pragma once
// Full Unicode case mapping (ICU, root locale): "İ" lower-cases to two code
// points and a final sigma becomes "ς", as in any Unicode-aware language.

#include <string>
#include <string_view>

namespace lumenfold::common {

std::string to_lower(std::string_view text);

// Whether `cp` is an upper-case letter (Unicode Lu or Other_Uppercase).
bool is_upper(char32_t cp);

}  // namespace lumenfold::common
