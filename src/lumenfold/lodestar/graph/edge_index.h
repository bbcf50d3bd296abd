#pragma once
// Which edges of an information graph touch each file, built once per
// graph version so that a neighbour query does not walk every edge of a
// large project.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/common/text_hash.h"

namespace lumenfold::lodestar {

class EdgeIndex {
 public:
  EdgeIndex() = default;
  EdgeIndex(const EdgeIndex&) = delete;
  EdgeIndex& operator=(const EdgeIndex&) = delete;

  // The positions, in ascending order, of the object edges in `edges` (the
  // "edges" list of `graph`) whose "from" or "to" text is `file`; a
  // missing or non-text endpoint counts as "". Rebuilt when `graph` is not
  // the document the index was built for. The reference stays valid until
  // the next call.
  const std::vector<uint32_t>& edges_of(const std::shared_ptr<const common::Json>& graph, const common::Json& edges,
                                        std::string_view file);

 private:
  void build(const common::Json& edges);

  std::weak_ptr<const common::Json> graph_;
  std::unordered_map<std::string, std::vector<uint32_t>, common::TextHash, std::equal_to<>> by_file_;
};

}  // namespace lumenfold::lodestar
