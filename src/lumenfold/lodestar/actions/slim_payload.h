#pragma once
// The form of a tool's payload that the action log keeps: a handful of
// short identifying members, never file contents or long lists.

#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// Returns {"kind": kind} followed by those of "file", "query", "mode",
// "pattern", "response_chars" and "overlap" that `payload` has, in that
// order, values unchanged. Every other member is dropped. A `payload` that
// is not an object contributes nothing.
common::Json slim_payload(std::string_view kind, const common::Json& payload);

}  // namespace lumenfold::lodestar
