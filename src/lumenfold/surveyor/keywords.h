#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::surveyor {

// Up to 80 distinct lower-case keywords of a file (at least 3 characters,
// no leading or trailing "_"), in the order first found. `ext` is the
// lower-cased extension.
std::vector<std::string> extract_keywords(std::string_view content, std::string_view ext);

}  // namespace lumenfold::surveyor
