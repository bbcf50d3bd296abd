#pragma once
// Ages of times read from documents. A stored time may hold any integer, so
// its distance from now is never a plain subtraction, which can overflow.

#include <cstdint>

namespace lumenfold::common {

// Whether `now` - `then` > `limit`, exactly, for any integers: a distance
// past 64 bits is larger than every limit when `then` is the earlier time
// and smaller than every limit otherwise.
inline bool elapsed_more_than(int64_t then, int64_t now, int64_t limit) {
  int64_t elapsed = 0;
  if (__builtin_sub_overflow(now, then, &elapsed)) return then < now;
  return elapsed > limit;
}

}  // namespace lumenfold::common
