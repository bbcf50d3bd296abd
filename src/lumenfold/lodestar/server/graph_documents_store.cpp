#include "lumenfold/lodestar/server/graph_documents_store.h"

#include <filesystem>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/symbol_index.h"
#include "lumenfold/lodestar/memory/reconcile.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/surveyor/graph_documents.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

void store_graph_documents(const Json& graph, ServerState& state) {
  auto nodes = graph.find("nodes");
  store_graph_documents(common::dump_indented(graph),
                        surveyor::build_symbol_index(nodes == graph.end() ? Json::array() : *nodes), state);
}

void store_graph_documents(std::string_view graph_text, const Json& symbol_index, ServerState& state) {
  const Settings& settings = state.settings;
  fs::create_directories(settings.data_dir);
  SymbolIndex index(symbol_index);
  if (auto error = surveyor::write_graph_text(graph_text, settings.info_graph_file(), index.doc(),
                                              settings.symbol_index_file())) {
    throw std::runtime_error(*error);
  }
  reconcile_context_store(state.context_store, lookup_in_index(index), state.now());
}

}  // namespace lumenfold::lodestar
