#pragma once
// Unix times as the state files and logs write them, and the real clock.

#include <cstdint>
#include <string>

namespace lumenfold::lodestar {

// `epoch_seconds` (with its fraction) in UTC as 2026-01-31T09:15:02.123456+00:00,
// the fraction omitted when its microseconds are zero.
std::string iso_time(double epoch_seconds);
// The current Unix time in seconds, with its fraction: the clock the
// server's state uses unless a test gives it another.
double now_epoch();
// `epoch_seconds` in whole seconds (rounded down), as "ts" and
// "created_epoch" members hold times.
int64_t whole_seconds(double epoch_seconds);

}  // namespace lumenfold::lodestar
