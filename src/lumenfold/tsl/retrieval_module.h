#pragma once
// The built-in retrieval module as the tool server sees it. Header-only on
// purpose: the server's library links this one, so this library must not
// link the server's; everything here is inline and compiles in the
// server's translation units, which already know the interface.

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/graph/retrieval_module.h"
#include "lumenfold/lodestar/tools/settings.h"
#include "lumenfold/tsl/intent.h"
#include "lumenfold/tsl/retriever.h"

namespace lumenfold::tsl {

class LocalRetrievalModule final : public lodestar::RetrievalModule {
 public:
  std::optional<common::Json> retrieve(const common::Json& graph, std::string_view query, int64_t top_files,
                                       int64_t top_edges) override {
    if (!graph.is_object()) return std::nullopt;
    return retriever_.retrieve(graph, query, top_files, top_edges);
  }

  std::string classify_intent(std::string_view query) override { return tsl::classify_intent(query); }

 private:
  Retriever retriever_;
};

// The module to bind at start-up: the built-in one, or none when
// TSL_LOCAL_RETRIEVAL switched it off (so the remote graph API answers).
inline std::unique_ptr<lodestar::RetrievalModule> make_local_retrieval_module(const lodestar::Settings& settings) {
  if (!settings.tsl_local_retrieval) return nullptr;
  return std::make_unique<LocalRetrievalModule>();
}

}  // namespace lumenfold::tsl
