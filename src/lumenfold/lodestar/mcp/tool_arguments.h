#pragma once
// Checking the arguments of a tool call against the tool's declared
// parameters, with the same leniency as the reference Python SDK so that
// agents written against it keep working.

#include <span>

#include "lumenfold/common/json.h"
#include "lumenfold/common/result.h"
#include "lumenfold/lodestar/mcp/tool_registry.h"

namespace lumenfold::lodestar {

// Returns an object holding every parameter of `params` in declaration
// order: the caller's value converted to the declared type, or the default
// when the caller left it out. Unknown extra arguments are dropped.
// `arguments` may be null (no arguments given) or an object.
//
// Accepted beyond the exact type:
//   - integer: an integral float (5.0), text holding an integer ("5"),
//     a boolean (as 0 or 1);
//   - number: an integer, a boolean, text holding a number;
//   - boolean: 0 and 1, and the texts true/false, yes/no, on/off, t/f,
//     y/n, 1/0 in any case;
//   - any type but plain text: text holding a JSON array, object or null
//     is parsed first, so "[\"a\"]" passes as a list.
// Text never accepts a number: 5 for a text parameter is an error.
//
// Errors name the parameter, e.g. "missing required argument 'query'" or
// "argument 'top_files' must be an integer, got string".
common::Result<common::Json> bind_arguments(std::span<const ToolParam> params, const common::Json& arguments);

}  // namespace lumenfold::lodestar
