#pragma once
// The relation edges worth showing next to a ranking: how the returned
// files use each other first, then what the best files import and
// reference, then who imports them.

#include <cstdint>
#include <vector>

#include "lumenfold/tsl/project_index.h"

namespace lumenfold::tsl {

// Indices into `index.edges()`, at most `limit`, in this order: edges
// between two of `files`; then, for each of `files` in the given (rank)
// order, its edges to other project files; then, file by file, the edges
// into it; last, file by file, its edges to what lies outside the project
// (libraries). Within each group, graph order. Each edge appears once.
// `files` holds doc numbers, best first.
std::vector<uint32_t> select_edges(const ProjectIndex& index, const std::vector<uint32_t>& files, size_t limit);

}  // namespace lumenfold::tsl
