#include "lumenfold/lodestar/graph/edge_index.h"

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"

namespace lumenfold::lodestar {

using common::Json;

void EdgeIndex::build(const Json& edges) {
  by_file_.clear();
  uint32_t pos = 0;
  for (const Json& edge : edges) {
    if (edge.is_object()) {
      std::string_view from = common::text_view(edge, "from");
      std::string_view to = common::text_view(edge, "to");
      auto add = [&](std::string_view file) {
        auto it = by_file_.find(file);
        if (it == by_file_.end()) it = by_file_.emplace(std::string(file), std::vector<uint32_t>()).first;
        it->second.push_back(pos);
      };
      add(from);
      if (to != from) add(to);
    }
    ++pos;
  }
}

const std::vector<uint32_t>& EdgeIndex::edges_of(const std::shared_ptr<const Json>& graph, const Json& edges,
                                                 std::string_view file) {
  static const std::vector<uint32_t> kNone;
  if (graph_.lock() != graph) {
    build(edges);
    graph_ = graph;
  }
  auto it = by_file_.find(file);
  return it == by_file_.end() ? kNone : it->second;
}

}  // namespace lumenfold::lodestar
