#pragma once
// Everything the tools share for the life of the server process: the
// settings and project root, the turn state, the caches of parsed state
// files (graphs, context store, action graph), the retrieval module and the
// remote graph API. Built once in main (or per test) and handed to every
// tool; nothing below it is global.
//
// Not thread-safe: the MCP dispatcher runs one tool call at a time.

#include <cstdint>
#include <functional>
#include <memory>

#include "lumenfold/common/json_file_cache.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/actions/action_graph_store.h"
#include "lumenfold/lodestar/graph/graph_caches.h"
#include "lumenfold/lodestar/graph/http_transport.h"
#include "lumenfold/lodestar/graph/remote_api.h"
#include "lumenfold/lodestar/graph/retrieval_module.h"
#include "lumenfold/lodestar/memory/context_store.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"
#include "lumenfold/lodestar/server/settings.h"
#include "lumenfold/lodestar/server/turn_state.h"

namespace lumenfold::lodestar {

class RetrievalCache;

// The current Unix time in seconds with its fraction; tests replace it.
using Clock = std::function<double()>;

class ServerState {
 public:
  // `retrieval` may be null (no retrieval module: the remote API ranks);
  // `transport` null means real HTTP.
  explicit ServerState(Settings settings, std::unique_ptr<RetrievalModule> retrieval = nullptr,
                       std::unique_ptr<HttpTransport> transport = nullptr, Clock clock = nullptr);
  ~ServerState();
  ServerState(const ServerState&) = delete;
  ServerState& operator=(const ServerState&) = delete;

  Settings settings;
  TurnState turn;
  GraphCaches graphs;
  // Syncs every state file the stores below write; declared before them
  // so that it outlives them, and its destructor puts on disk what they
  // wrote last.
  common::StateFileSyncer state_files;
  ContextStore context_store;
  ActionGraphStore action_graph;

  RetrievalModule* retrieval() const { return retrieval_.get(); }
  RemoteGraphApi& remote() { return remote_; }
  // The retrieval cache of the current data directory; its parsed file is
  // kept between calls.
  RetrievalCache retrieval_cache();

  double now() const { return clock_(); }
  int64_t now_seconds() const;

  // A lookup into the current symbol index, read on first use.
  SymbolLookup symbols();

 private:
  std::unique_ptr<RetrievalModule> retrieval_;
  std::unique_ptr<HttpTransport> transport_;
  RemoteGraphApi remote_;
  Clock clock_;
  common::JsonFileCache retrieval_cache_file_;
};

}  // namespace lumenfold::lodestar
