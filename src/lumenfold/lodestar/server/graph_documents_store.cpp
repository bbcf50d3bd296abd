#include "lumenfold/lodestar/server/graph_documents_store.h"

#include <filesystem>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "lumenfold/common/json_simd.h"
#include "lumenfold/lodestar/graph/symbol_index.h"
#include "lumenfold/lodestar/memory/reconcile.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/surveyor/graph_documents.h"

namespace lumenfold::lodestar {

namespace fs = std::filesystem;
using common::Json;

namespace {

void store(std::string_view graph_text, std::string_view index_text, const SymbolIndex& index, ServerState& state) {
  const Settings& settings = state.settings;
  fs::create_directories(settings.data_dir);
  if (auto error = surveyor::write_graph_files(graph_text, settings.info_graph_file(), index_text,
                                               settings.symbol_index_file())) {
    throw std::runtime_error(*error);
  }
  reconcile_context_store(state.context_store, lookup_in_index(index), state.now());
}

}  // namespace

void store_graph_documents(std::string_view graph_text, const Json& symbol_index, ServerState& state) {
  SymbolIndex index(symbol_index);
  store(graph_text, common::dump_spaced(index.doc()), index, state);
}

void store_graph_documents(const surveyor::ScanDocuments& documents, ServerState& state) {
  store(documents.graph, documents.index, SymbolIndex(common::parse_fast_to_json(documents.index)), state);
}

}  // namespace lumenfold::lodestar
