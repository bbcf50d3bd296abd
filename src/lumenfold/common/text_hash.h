#pragma once
// A hash for unordered containers keyed by std::string that can be searched
// with a std::string_view (with std::equal_to<>) without making a string.

#include <cstddef>
#include <functional>
#include <string_view>

namespace lumenfold::common {

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

}  // namespace lumenfold::common
