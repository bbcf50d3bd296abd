#include "lumenfold/lodestar/graph/retrieval_module.h"

namespace lumenfold::lodestar {
namespace {

// The label graph_continue reports when nothing can classify the query.
constexpr std::string_view kDefaultIntent = "general";

}  // namespace

std::string classify_intent_or_general(RetrievalModule* module, std::string_view query) {
  if (module == nullptr) return std::string(kDefaultIntent);
  return module->classify_intent(query);
}

}  // namespace lumenfold::lodestar
