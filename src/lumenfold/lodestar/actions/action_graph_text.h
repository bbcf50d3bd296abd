#pragma once
// The text of the action graph document, remade cheaply after each tool
// call. A call appends a node, an edge and an action or two to lists of
// hundreds; laying out the whole document again would cost more than the
// rest of the call. So the text of each element of "nodes", "edges" and
// "actions" is kept and reused while that element is in the document.
//
// Elements are told apart by the address of their JSON object
// (kept_list.h); clear() is called whenever the document is replaced or
// read again from disk.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class ActionGraphText {
 public:
  // `graph` laid out exactly as common::dump_indented lays it out; valid
  // until the next call.
  std::string_view render(const common::Json& graph);

  // Forgets every kept text.
  void clear() { lists_.clear(); }

 private:
  // The kept text of one list: its elements, each laid out after the
  // separator ",\n    ", back to back in one block, so that a render
  // copies a few large blocks rather than hundreds of small ones.
  struct KeptList {
    struct Element {
      const void* identity;
      size_t start;  // where its separator begins in `text`
    };
    std::string text;
    std::vector<Element> elements;
    // Elements before `first` left the list; their text is dropped in bulk
    // once it outweighs the rest.
    size_t first = 0;
  };
  void append_list(std::string& out, const std::string& name, const common::Json& list);

  // Per list name, the texts of its elements as last rendered.
  std::map<std::string, KeptList, std::less<>> lists_;
  // The last text rendered. Kept, so the next render writes into memory
  // already allocated and touched: a fresh buffer of this size costs more
  // than filling it.
  std::string out_;
};

}  // namespace lumenfold::lodestar
