#include "lumenfold/lodestar/server/server_state.h"

#include "lumenfold/lodestar/cache/retrieval_cache.h"
#include "lumenfold/lodestar/graph/httplib_transport.h"
#include "lumenfold/lodestar/memory/epoch_time.h"

namespace lumenfold::lodestar {

namespace {

std::unique_ptr<HttpTransport> or_real_http(std::unique_ptr<HttpTransport> transport) {
  return transport ? std::move(transport) : std::make_unique<HttplibTransport>();
}

}  // namespace

ServerState::ServerState(Settings s, std::unique_ptr<RetrievalModule> retrieval,
                         std::unique_ptr<HttpTransport> transport, Clock clock)
    : settings(std::move(s)),
      context_store(settings.context_store_file(), &state_files),
      action_graph(settings.action_graph_file(), &state_files),
      retrieval_(std::move(retrieval)),
      transport_(or_real_http(std::move(transport))),
      remote_(settings.tsl_base, settings.tsl_api_token, *transport_),
      clock_(clock ? std::move(clock) : Clock(now_epoch)) {}

ServerState::~ServerState() = default;

RetrievalCache ServerState::retrieval_cache() {
  return RetrievalCache(settings.retrieval_cache_file(), settings.retrieve_cache_ttl_sec, &retrieval_cache_file_,
                        &state_files);
}

int64_t ServerState::now_seconds() const { return whole_seconds(now()); }

SymbolLookup ServerState::symbols() { return lazy_index_lookup(graphs.symbol_index, settings.symbol_index_file()); }

}  // namespace lumenfold::lodestar
