#pragma once
// Finding one text inside another in time linear in both lengths.
//
// std::string::find compares the whole needle at every place where its
// first byte occurs, so a long needle made of one repeated character in a
// long run of that character costs haystack x needle: a query term of a few
// thousand "x" against a stored memory of megabytes takes seconds. Use
// these wherever either side comes from an agent.

#include <cstddef>
#include <string_view>

namespace lumenfold::common {

// The byte offset of the first occurrence of `needle` in `haystack`, or
// std::string_view::npos. An empty needle is found at 0, as with find.
size_t find_text(std::string_view haystack, std::string_view needle);

// Whether `needle` occurs in `haystack`.
inline bool contains_text(std::string_view haystack, std::string_view needle) {
  return find_text(haystack, needle) != std::string_view::npos;
}

}  // namespace lumenfold::common
