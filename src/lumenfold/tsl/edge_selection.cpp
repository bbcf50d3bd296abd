#include "lumenfold/tsl/edge_selection.h"

#include <unordered_set>

namespace lumenfold::tsl {
namespace {

class EdgePicker {
 public:
  EdgePicker(const ProjectIndex& index, size_t limit) : index_(index), limit_(limit) {}

  bool full() const { return picked_.size() >= limit_; }

  void take(uint32_t edge) {
    if (!full() && seen_.insert(edge).second) picked_.push_back(edge);
  }

  // Edges from one returned file to another, in graph order.
  void take_between(const std::unordered_set<uint32_t>& returned) {
    for (uint32_t e = 0; e < index_.edges().size() && !full(); ++e) {
      const ResolvedEdge& edge = index_.edges()[e];
      if (returned.count(edge.from_doc) && edge.to_doc && returned.count(*edge.to_doc)) take(e);
    }
  }

  // The file's own edges to other project files (`internal`), or to
  // what lies outside the project (libraries, the standard library).
  void take_outgoing(uint32_t doc, bool internal) {
    for (uint32_t e : index_.edges_of()[doc]) {
      const ResolvedEdge& edge = index_.edges()[e];
      if (edge.from_doc == doc && edge.to_doc.has_value() == internal) take(e);
    }
  }

  void take_incoming(uint32_t doc) {
    for (uint32_t e : index_.edges_of()[doc]) {
      if (index_.edges()[e].from_doc != doc) take(e);
    }
  }

  std::vector<uint32_t> take_result() { return std::move(picked_); }

 private:
  const ProjectIndex& index_;
  size_t limit_;
  std::unordered_set<uint32_t> seen_;
  std::vector<uint32_t> picked_;
};

}  // namespace

std::vector<uint32_t> select_edges(const ProjectIndex& index, const std::vector<uint32_t>& files, size_t limit) {
  EdgePicker picker(index, limit);
  std::unordered_set<uint32_t> returned(files.begin(), files.end());
  picker.take_between(returned);
  for (uint32_t doc : files) picker.take_outgoing(doc, true);
  for (uint32_t doc : files) picker.take_incoming(doc);
  for (uint32_t doc : files) picker.take_outgoing(doc, false);
  return picker.take_result();
}

}  // namespace lumenfold::tsl
