#include "lumenfold/lodestar/actions/action_graph_text.h"

#include <array>
#include <string_view>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/actions/kept_list.h"

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

}  // namespace

std::string_view ActionGraphText::render(const Json& graph) {
  out_.clear();
  if (!graph.is_object() || graph.empty()) {
    out_ = common::dump_indented(graph);
    return out_;
  }
  out_ += '{';
  bool first = true;
  for (const auto& [key, value] : graph.get_ref<const Json::object_t&>()) {
    out_ += first ? "\n  " : ",\n  ";
    first = false;
    common::append_indented(out_, Json(key), 1);
    out_ += ": ";
    if (value.is_array() && !value.empty() && is_append_only(key)) {
      append_list(out_, key, value);
    } else {
      common::append_indented(out_, value, 1);
    }
  }
  out_ += "\n}";
  // Lists that left the document take their texts with them.
  for (auto it = lists_.begin(); it != lists_.end();) {
    auto member = graph.find(it->first);
    it = member != graph.end() && member->is_array() && !member->empty() ? std::next(it) : lists_.erase(it);
  }
  return out_;
}

void ActionGraphText::append_list(std::string& out, const std::string& name, const Json& list) {
  static constexpr std::string_view kSeparator = ",\n    ";
  KeptList& kept = lists_[name];
  // Keep the texts of the elements that are still there, in the same
  // places; lay out the rest anew.
  const LineUp at = line_up(kept.elements, kept.first, list);
  kept.first = at.first;
  if (at.first + at.same < kept.elements.size()) {
    kept.text.resize(kept.elements[at.first + at.same].start);
    kept.elements.resize(at.first + at.same);
  }
  for (size_t i = at.same; i < list.size(); ++i) {
    kept.elements.push_back({element_identity(list[i]), kept.text.size()});
    kept.text += kSeparator;
    common::append_indented(kept.text, list[i], 2);
  }
  // The first element goes without the separator's comma.
  const size_t begin = kept.elements[kept.first].start;
  out += '[';
  out.append(kept.text, begin + 1);
  out += "\n  ]";
  if (begin > kept.text.size() - begin) {
    kept.text.erase(0, begin);
    kept.elements.erase(kept.elements.begin(), kept.elements.begin() + static_cast<std::ptrdiff_t>(kept.first));
    for (KeptList::Element& element : kept.elements) element.start -= begin;
    kept.first = 0;
  }
}

}  // namespace lumenfold::lodestar
