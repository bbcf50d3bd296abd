#pragma once
// The product's version, from the build's project version (CMake passes it
// to everything that links lumenfold_common).

#include <string_view>

namespace lumenfold::common {

constexpr std::string_view kVersion = LUMENFOLD_VERSION;

}  // namespace lumenfold::common
