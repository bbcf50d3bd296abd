#include "lumenfold/lodestar/actions/action_log.h"

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/lodestar/actions/kept_list.h"

namespace lumenfold::lodestar {

using common::Json;

const Json& actions_of(const Json& graph) {
  static const Json kNone = Json::array();
  const Json& actions = common::member_or_null(graph, "actions");
  return actions.is_array() ? actions : kNone;
}

LoggedAction logged_action(const Json& action) {
  LoggedAction out;
  out.identity = element_identity(action);
  if (!action.is_object()) return out;
  out.ts = common::as_integer(common::member_or_null(action, "ts")).value_or(0);
  const Json& kind = common::member_or_null(action, "kind");
  out.is_read = kind.is_string() && (kind == "read" || kind == "read_cache_hit");
  const Json& payload = common::member_or_null(action, "payload");
  out.file = common::truthy_text(common::member_or_null(payload, "file"));
  out.query = common::truthy_text(common::member_or_null(payload, "query"));
  return out;
}

std::vector<LoggedAction> logged_actions(const Json& graph) {
  std::vector<LoggedAction> out;
  for (const Json& action : actions_of(graph)) out.push_back(logged_action(action));
  return out;
}

std::span<const LoggedAction> ActionLog::actions(const Json& graph) {
  const Json& list = actions_of(graph);
  const LineUp at = line_up(kept_, first_, list);
  kept_.resize(at.first + at.same);
  first_ = at.first;
  // Drop the actions that left once they outnumber those that stay.
  if (first_ > kept_.size() - first_) {
    kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(first_));
    first_ = 0;
  }
  for (size_t i = at.same; i < list.size(); ++i) kept_.push_back(logged_action(list[i]));
  return std::span<const LoggedAction>(kept_).subspan(first_);
}

}  // namespace lumenfold::lodestar
