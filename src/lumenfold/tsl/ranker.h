#pragma once
// The ranking of a project's files for one query: a BM25F text score,
// scaled to the best file, plus the evidence of what the query names
// (paths, modules, defined code names), with test files held back unless
// the query is about tests.

#include <cstdint>
#include <string_view>
#include <vector>

#include "lumenfold/tsl/mention_scores.h"
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
  double name = 0;    // the query says the file's name, 0..1
};

// How the parts of a file's score are weighed against the scaled text
// score (whose best file has 1).
struct RankWeights {
  // A path written in the query outweighs any amount of shared vocabulary.
  double path = 1.2;
  double module = 0.8;
  double defs = 0.8;
  // Many frames through one file are not more certain than a few.
  double max_path = 2.0;
  // Scale of the definition evidence before it saturates: about two
  // specific names defined in a file make it nearly certain.
  double def_saturation = 1.5;
  // Test files keep this share of their score unless the query is about
  // tests or names the file itself.
  double test_factor = 0.3;
  // Share of the text score that comes from the file's best chunk rather
  // than the whole file.
  double chunk_share = 0.5;
  double name = 0.3;
  double name_title_factor = 2.5;
  MentionWeights mentions;
};

// Every file with a positive score, best first; ties go to the smaller
// file id so that the order is stable.
std::vector<RankedFile> rank_files(const ProjectIndex& index, std::string_view query, const RankWeights& weights = {});

// The query's terms with the weight of their repeats: repeated names are
// what a query is about, yet a term written ten times is not ten times as
// telling.
std::vector<WeightedTerm> weigh_query_terms(std::string_view query);

}  // namespace lumenfold::tsl
