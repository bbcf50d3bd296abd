#pragma once
// What memory search and read capture work on: the context store, the
// symbol index it is reconciled against, the clock and the start of this
// server process. The references must outlive the call they are passed to.

#include <cstdint>

#include "lumenfold/lodestar/memory/context_store.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"

namespace lumenfold::lodestar {

struct MemoryScope {
  ContextStore& store;
  const SymbolLookup& symbols;
  // The current Unix time in seconds, with its fraction.
  double now_epoch;
  // The start of this server process in whole Unix seconds: it tells the
  // query associations of this session from those of earlier ones.
  int64_t session_start_epoch;
};

}  // namespace lumenfold::lodestar
