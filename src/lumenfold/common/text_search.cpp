#include "lumenfold/common/text_search.h"

#include <string.h>

namespace lumenfold::common {

size_t find_text(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return 0;
  if (needle.size() > haystack.size()) return std::string_view::npos;
  // glibc's memmem runs the Two-Way algorithm for needles of 256 bytes or
  // more and compares fewer than 256 bytes per place below that: linear
  // either way.
  const void* at = memmem(haystack.data(), haystack.size(), needle.data(), needle.size());
  if (at == nullptr) return std::string_view::npos;
  return static_cast<size_t>(static_cast<const char*>(at) - haystack.data());
}

}  // namespace lumenfold::common
