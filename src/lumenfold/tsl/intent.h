#pragma once
// What a request wants: "explore" (understand or survey code), "debug"
// (something fails), "edit" (change or add something) or "general". Only
// "explore" changes how the server budgets reads.

#include <string>
#include <string_view>

namespace lumenfold::tsl {

// The label of `query`, checked in this order: "explore" when it opens
// with a question or request to understand (how does, what is, where is,
// explain, describe, walk me through, give an overview...); "debug" when it
// speaks of a failure (error, exception, traceback, crash, bug, fails,
// broken, doesn't work...); "edit" when it opens with a request to change
// (add, implement, change, fix, refactor, rename, remove, update...);
// "explore" when it asks about an overview, the architecture or how
// something works anywhere in the text; otherwise "general".
std::string classify_intent(std::string_view query);

}  // namespace lumenfold::tsl
