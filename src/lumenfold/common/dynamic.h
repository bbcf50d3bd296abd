#pragma once
// The meanings of loosely typed JSON values, written once: what counts as
// true, what reads as an integer, and the textual form of a value.

#include <cstdint>
#include <optional>
#include <string>

#include "lumenfold/common/json.h"

namespace lumenfold::common {

// null, false, 0, 0.0, "", [] and {} are false; everything else is true.
bool is_truthy(const Json& v);

// Integers as they are, floats truncated toward zero, booleans as 0/1, and
// text holding a decimal integer (surrounding blanks, a sign and "_" digit
// separators allowed). Anything else, and non-finite or out-of-range
// numbers, gives nullopt.
std::optional<int64_t> as_integer(const Json& v);

// Parses decimal integer text as above.
std::optional<int64_t> parse_integer(std::string_view text);

// The textual form of a value: text as itself; null as "None", booleans as
// "True"/"False"; numbers in their shortest round-trip form (1.0 stays
// "1.0"); arrays and objects in the ['a', 1] / {'k': 'v'} notation.
std::string made_text(const Json& v);

// made_text of a truthy value; "" for a falsy one (a null query is no
// query, not the text "None").
std::string truthy_text(const Json& v);

// Member `key` of `obj`; a null value when it is absent or `obj` is not an
// object (const operator[] must not be used on a missing key).
const Json& member_or_null(const Json& obj, std::string_view key);

// Text member `key` of `obj` when present and a string, else `fallback`.
std::string get_text(const Json& obj, std::string_view key, std::string_view fallback = "");

// The same as a view into `obj` (empty when absent or not text), for hot
// loops that only compare.
std::string_view text_view(const Json& obj, std::string_view key);

}  // namespace lumenfold::common
