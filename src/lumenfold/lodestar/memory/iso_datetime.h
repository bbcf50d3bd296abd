#pragma once
// Reading ISO-8601 date-times back into Unix time, for memories whose
// creation time arrives only as text.

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumenfold::lodestar {

// The Unix time, in whole seconds truncated toward zero, of an ISO-8601
// date-time in the forms datetime.fromisoformat accepts:
//   date        YYYY-MM-DD or YYYYMMDD
//   separator   any one character ("T", " ", ...)
//   time        HH, HH:MM, HH:MM:SS, HHMM, HHMMSS, each optionally with a
//               fraction of 1 to 9 digits after "." or ","
//   offset      "Z", +HH, +HH:MM, +HHMM, +HH:MM:SS (also with a fraction),
//               or "-" instead of "+"
// A date-time without an offset is read in the machine's local time zone; a
// date alone is its midnight. nullopt for anything else, including
// impossible dates (2023-02-29) and times (24:00).
std::optional<int64_t> parse_iso_datetime(std::string_view text);

}  // namespace lumenfold::lodestar
