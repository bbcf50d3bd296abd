#pragma once
// The seam to a retrieval module: the component that ranks a project's files
// for a query and labels the query's intent. The server holds at most one;
// without it, retrieval falls back to the remote graph API and the intent is
// "general".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

class RetrievalModule {
 public:
  virtual ~RetrievalModule() = default;

  // Ranks the files of `graph` (an information graph without file texts)
  // for `query`. Returns an object with "files", the ranked list of objects
  // whose "id" is a file id or a symbol id, best first, and "edges", a list
  // handed to the agent unchanged; nullopt when it cannot rank. Must not
  // throw for expected failures.
  virtual std::optional<common::Json> retrieve(const common::Json& graph, std::string_view query, int64_t top_files,
                                               int64_t top_edges) = 0;

  // A label for the query's intent; "explore" is the one the server acts on.
  virtual std::string classify_intent(std::string_view query) = 0;
};

// The label of `query` from `module`, or "general" when there is no module.
std::string classify_intent_or_general(RetrievalModule* module, std::string_view query);

}  // namespace lumenfold::lodestar
