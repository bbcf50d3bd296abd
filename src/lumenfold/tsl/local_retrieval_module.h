#pragma once
// The built-in retrieval module as the tool server sees it, and the
// factory the server calls at start-up.
//
// Built as its own small library (lumenfold_tsl_module) so that the
// dependency runs one way: the server's library links it, it links the
// ranking library, and neither ranking library links the server's. It
// uses only one header of the server (an abstract class), nothing compiled
// into the server.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/graph/retrieval_module.h"
#include "lumenfold/tsl/retriever.h"

namespace lumenfold::tsl {

class LocalRetrievalModule final : public lodestar::RetrievalModule {
 public:
  // Retriever::retrieve over `graph`; nullopt when `graph` is not an
  // object.
  std::optional<common::Json> retrieve(const common::Json& graph, std::string_view query, int64_t top_files,
                                       int64_t top_edges) override;

  // tsl::classify_intent.
  std::string classify_intent(std::string_view query) override;

 private:
  Retriever retriever_;
};

// The module to bind at start-up: the built-in one, or none when not
// `enabled` (TSL_LOCAL_RETRIEVAL switched it off: the remote graph API
// answers then).
std::unique_ptr<lodestar::RetrievalModule> make_local_retrieval_module(bool enabled);

}  // namespace lumenfold::tsl
