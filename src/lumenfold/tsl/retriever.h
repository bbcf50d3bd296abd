#pragma once
// The retrieval module's two operations over an information graph: rank
// the project's files for a query, and label the query's intent. Keeps one
// index, built from the graph the first time it is seen and reused while
// the graph stays the same.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "lumenfold/common/json.h"
#include "lumenfold/tsl/ranker.h"

namespace lumenfold::tsl {

class ProjectIndex;

class Retriever {
 public:
  Retriever();
  ~Retriever();
  Retriever(const Retriever&) = delete;
  Retriever& operator=(const Retriever&) = delete;

  // {"files": [...], "edges": [...]} for `query` over `graph` (an
  // information graph; node contents are not needed, file texts are read
  // from the project under the graph's "root"). "files" holds at most
  // `top_files` items, best first, and at least one when any file matches:
  // {"id": file id, "_score": confidence (10+ almost sure, 4-9 plausible,
  // below 4 weak), "symbols": up to 3 symbol ids of the file that the query
  // names, "summary": the file's summary}. "edges" holds at most
  // `top_edges` of the graph's relation edges ({"from", "to", "rel"}) that
  // matter for those files, in a stable order (see select_edges).
  common::Json retrieve(const common::Json& graph, std::string_view query, int64_t top_files, int64_t top_edges);

  // The index for `graph`: the cached one while the graph's fingerprint is
  // unchanged, else a new one (which replaces it).
  const ProjectIndex& index_for(const common::Json& graph);

 private:
  std::string fingerprint_;
  std::unique_ptr<ProjectIndex> index_;
  RankWeights weights_;
};

}  // namespace lumenfold::tsl
