#pragma once
// The ranking of a project's files for one query: a BM25F text score,
// scaled to the best file, plus the evidence of what the query names
// (paths, modules, defined code names), with test files held back unless
// the query is about tests.

#include <cstdint>
#include <string_view>
#include <vector>

#include "lumenfold/tsl/project_index.h"

namespace lumenfold::tsl {

struct RankedFile {
  uint32_t doc = 0;
  double score = 0;  // the combined score the order follows
  // Its parts, before the test-file factor.
  double text = 0;    // BM25F divided by the best file's, 0..1
  double path = 0;    // named by a path or stack frame
  double module = 0;  // named by a dotted module name
  double defs = 0;    // defines code names of the query, 0..1
};

// Every file with a positive score, best first; ties go to the smaller
// file id so that the order is stable.
std::vector<RankedFile> rank_files(const ProjectIndex& index, std::string_view query);

// The query's terms with the weight of their repeats: repeated names are
// what a query is about, yet a term written ten times is not ten times as
// telling.
std::vector<WeightedTerm> weigh_query_terms(std::string_view query);

}  // namespace lumenfold::tsl
