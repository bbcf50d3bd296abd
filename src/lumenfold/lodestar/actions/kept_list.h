#pragma once
// What the server keeps about the elements of an append-only list of the
// action graph ("nodes", "edges", "actions"; see action_graph.h) between
// tool calls, lined up again with the list as it is at the next call.
//
// Elements are told apart by the address of their JSON object. That holds
// because those elements are never changed once appended (the server's
// document is changed only through ActionGraphStore, whose changes append
// and drop whole elements, action_graph_store.h); because the
// keeper is cleared whenever the document is replaced or read again from
// disk; and because the server saves after every tool call, which appends a
// handful of elements, far fewer than a list keeps: an element still in the
// list since the last call is alive, so no new element can have taken its
// address. (Were a whole list replaced by new elements between two calls,
// the keeper would have to be cleared too.)

#include <cstddef>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// The identity of a list element: its object's address, or nullptr for an
// element that is not an object (which then never matches).
inline const void* element_identity(const common::Json& element) {
  return element.is_object() ? static_cast<const void*>(element.get_ptr<const common::Json::object_t*>()) : nullptr;
}

struct LineUp {
  size_t first;  // the kept entries before it belong to elements that left
  size_t same;   // from `first` on, this many entries are the list's first elements
};

// Lines `kept` (entries with a member `identity`, oldest first, those
// before `first` known to have left) up with `list` as it is now. The
// entries after the `same` ones no longer match and are to be dropped; the
// list's elements after its first `same` are new.
template <typename Entry>
LineUp line_up(const std::vector<Entry>& kept, size_t first, const common::Json& list) {
  const void* front = list.empty() ? nullptr : element_identity(list.front());
  LineUp at{kept.size(), 0};
  for (size_t i = first; front != nullptr && i < kept.size(); ++i) {
    if (kept[i].identity == front) {
      at.first = i;
      break;
    }
  }
  while (at.first + at.same < kept.size() && at.same < list.size()) {
    const void* identity = element_identity(list[at.same]);
    if (identity == nullptr || kept[at.first + at.same].identity != identity) break;
    ++at.same;
  }
  return at;
}

}  // namespace lumenfold::lodestar
