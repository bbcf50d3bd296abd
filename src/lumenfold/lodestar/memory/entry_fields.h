#pragma once
// Tolerant readers for the members of a memory entry. Entries reach the
// store from files written by hand or by older versions, so any member may
// be missing or of any type; these readers give every such case one
// defined meaning instead of failing.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// "" when `entry` has no member `key` (or is not an object), else the
// member's textual form (common::made_text: a null member reads "None").
std::string field_text(const common::Json& entry, std::string_view key);

// The member as an integer (common::as_integer); 0 when missing or when it
// does not read as an integer.
int64_t field_integer(const common::Json& entry, std::string_view key);

// The first truthy of the members named in `keys`, or nullptr.
const common::Json* first_truthy(const common::Json& entry, std::initializer_list<std::string_view> keys);

}  // namespace lumenfold::lodestar
