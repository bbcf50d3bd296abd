#include "lumenfold/lodestar/actions/action_graph_text.h"

#include <array>
#include <string_view>

#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {

using common::Json;

namespace {

// The lists that only ever grow at the end and lose their oldest elements.
constexpr std::array<std::string_view, 3> kAppendOnlyLists = {"nodes", "edges", "actions"};

bool is_append_only(std::string_view name) {
  for (std::string_view list : kAppendOnlyLists) {
    if (list == name) return true;
  }
  return false;
}

const void* identity_of(const Json& element) {
  return element.is_object() ? static_cast<const void*>(element.get_ptr<const Json::object_t*>()) : nullptr;
}

}  // namespace

std::string ActionGraphText::render(const Json& graph) {
  if (!graph.is_object() || graph.empty()) return common::dump_indented(graph);
  std::string out;
  // Room for the last text and what a call adds, so the text is never
  // copied to a larger buffer while it is put together.
  out.reserve(last_size_ + last_size_ / 8 + 4096);
  out += '{';
  bool first = true;
  for (const auto& [key, value] : graph.get_ref<const Json::object_t&>()) {
    out += first ? "\n  " : ",\n  ";
    first = false;
    common::append_indented(out, Json(key), 1);
    out += ": ";
    if (value.is_array() && !value.empty() && is_append_only(key)) {
      append_list(out, key, value);
    } else {
      common::append_indented(out, value, 1);
    }
  }
  out += "\n}";
  last_size_ = out.size();
  // Lists that left the document take their texts with them.
  for (auto it = lists_.begin(); it != lists_.end();) {
    auto member = graph.find(it->first);
    it = member != graph.end() && member->is_array() && !member->empty() ? std::next(it) : lists_.erase(it);
  }
  return out;
}

void ActionGraphText::append_list(std::string& out, const std::string& name, const Json& list) {
  std::vector<Fragment>& kept = lists_[name];
  // Old elements leave from the front: find where the kept texts line up.
  size_t offset = kept.size();
  const void* front = identity_of(list.front());
  for (size_t i = 0; front != nullptr && i < kept.size(); ++i) {
    if (kept[i].identity == front) {
      offset = i;
      break;
    }
  }
  std::vector<Fragment> now;
  now.reserve(list.size());
  out += '[';
  for (size_t i = 0; i < list.size(); ++i) {
    out += i == 0 ? "\n    " : ",\n    ";
    const Json& element = list[i];
    const void* identity = identity_of(element);
    size_t at = offset + i;
    if (identity != nullptr && at < kept.size() && kept[at].identity == identity) {
      now.push_back(std::move(kept[at]));
    } else {
      std::string text;
      common::append_indented(text, element, 2);
      now.push_back({identity, std::move(text)});
    }
    out += now.back().text;
  }
  out += "\n  ]";
  kept = std::move(now);
}

}  // namespace lumenfold::lodestar
