#include "lumenfold/lodestar/server/turn_state.h"

#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {

void TurnState::reset() {
  // The exploration fields survive: graph_continue set them for the whole
  // exploration, which may span several query turns and scans.
  query_key.clear();
  used_chars = 0;
  seen_reads.clear();
  reuse_gate_candidates.clear();
  reuse_gate_satisfied = false;
  retrieved_files.clear();
  retrieve_count = 0;
  last_retrieve_out.reset();
  fallback_calls = 0;
}

}  // namespace lumenfold::lodestar
