#pragma once
// The action log ("actions" of the action graph) as the read queries see
// it, kept between tool calls. Every read asks which recent reads touched
// the same file; walking the log's JSON objects for that cost a tenth of
// the read, most of it in cache misses. The log only grows at the end and
// loses its oldest actions, so its compact form is kept in step with it
// (kept_list.h).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// One action of the log.
struct LoggedAction {
  const void* identity = nullptr;  // the action's object (kept_list.h)
  int64_t ts = 0;                  // "ts" as an integer; 0 when it is none
  bool is_read = false;            // kind "read" or "read_cache_hit"
  std::string file;                // the payload's "file" made text; "" when falsy
  std::string query;               // the payload's "query" made text; "" when falsy
};

// The document's "actions" list, oldest first; [] when it has none or the
// member is not a list.
const common::Json& actions_of(const common::Json& graph);

// `action` (an element of "actions") as a LoggedAction; an element that is
// not an object is an action of no kind, and a payload that is not an
// object has no members.
LoggedAction logged_action(const common::Json& action);

// The actions of a document's log, oldest first.
std::vector<LoggedAction> logged_actions(const common::Json& graph);

// logged_actions() of one document, remade only for the actions appended
// since the last call. Belongs to one document: clear() it whenever the
// document is replaced or read again, and call actions() after every
// change of the log, as the store's save does (kept_list.h says why).
class ActionLog {
 public:
  // The actions of `graph`'s log, oldest first; valid until the next call.
  std::span<const LoggedAction> actions(const common::Json& graph);
  void clear() {
    kept_.clear();
    first_ = 0;
  }

 private:
  std::vector<LoggedAction> kept_;
  size_t first_ = 0;  // the kept actions before it have left the log
};

}  // namespace lumenfold::lodestar
