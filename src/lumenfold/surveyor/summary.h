#pragma once

#include <string>
#include <string_view>

namespace lumenfold::surveyor {

// A summary of at most 250 characters (code points) of one or two
// sentences. `path` is the file id, `ext` the lower-cased extension.
std::string make_summary(std::string_view content, std::string_view path, std::string_view ext);

}  // namespace lumenfold::surveyor
