#pragma once
// The symbol index: symbol id ("file::name") to its entry {"line_start",
// "line_end", "body_hash", "confidence", "path"}, in the order of the
// graph's symbol nodes. Lookups go through a hash table, not a scan of the
// ordered document.

#include <cstddef>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class SymbolIndex {
 public:
  // The empty index.
  SymbolIndex();
  // Takes the document as it is. A document that is not an object gives
  // the empty index.
  explicit SymbolIndex(common::Json doc);
  ~SymbolIndex();
  SymbolIndex(SymbolIndex&&) noexcept;
  SymbolIndex& operator=(SymbolIndex&&) noexcept;
  SymbolIndex(const SymbolIndex&) = delete;
  SymbolIndex& operator=(const SymbolIndex&) = delete;

  // The whole document (an object), for writing it out or walking it in
  // order.
  const common::Json& doc() const { return *doc_; }
  // The entry of `symbol_id`, or null when the index has none. The entry
  // is whatever the file held under that id (normally an object).
  const common::Json* find(std::string_view symbol_id) const;
  size_t size() const { return by_id_.size(); }
  bool empty() const { return by_id_.empty(); }

 private:
  void index_members();

  // On the heap so the views and pointers below survive a move.
  std::unique_ptr<common::Json> doc_;
  std::unordered_map<std::string_view, const common::Json*> by_id_;
};

// The symbol index of an information graph document: one entry per
// distinct non-empty id among the "nodes" whose "kind" is "symbol", in node
// order; a later node with the same id replaces the value and keeps the
// position. Missing "line_start"/"line_end" become 0 and missing text
// members "". A graph without a "nodes" list gives an empty object.
common::Json build_symbol_index(const common::Json& graph);

}  // namespace lumenfold::lodestar
