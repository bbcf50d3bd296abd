#include "lumenfold/tsl/local_retrieval_module.h"

#include <nlohmann/json.hpp>

#include "lumenfold/tsl/intent.h"

namespace lumenfold::tsl {

std::optional<common::Json> LocalRetrievalModule::retrieve(const common::Json& graph, std::string_view query,
                                                           int64_t top_files, int64_t top_edges) {
  if (!graph.is_object()) return std::nullopt;
  return retriever_.retrieve(graph, query, top_files, top_edges);
}

std::string LocalRetrievalModule::classify_intent(std::string_view query) { return tsl::classify_intent(query); }

std::unique_ptr<lodestar::RetrievalModule> make_local_retrieval_module(bool enabled) {
  if (!enabled) return nullptr;
  return std::make_unique<LocalRetrievalModule>();
}

}  // namespace lumenfold::tsl
