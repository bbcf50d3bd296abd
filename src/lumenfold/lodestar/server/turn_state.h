#pragma once
// The in-memory state of one query turn: read budget, gates and the last
// retrieval. Lives only in memory; a restart begins with a fresh one.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

struct TurnState {
  std::string query_key;
  int64_t used_chars = 0;
  // Repeat key to the first 200 characters returned; at most 20 keys, kept
  // in insertion order.
  std::vector<std::pair<std::string, std::string>> seen_reads;
  std::vector<std::string> reuse_gate_candidates;
  bool reuse_gate_satisfied = false;
  std::vector<std::string> retrieved_files;
  int64_t retrieve_count = 0;
  // Null when no retrieval happened in this turn. Shared and immutable, so
  // the header needs only the declaration of Json.
  std::shared_ptr<const common::Json> last_retrieve_out;
  int64_t fallback_calls = 0;
  // Set once graph_continue chooses exploration; a reset keeps them.
  std::optional<int64_t> explore_budget_chars;
  std::optional<int64_t> explore_hard_max_chars;

  // Back to the initial values for the nine turn fields; the exploration
  // fields are kept.
  void reset();
};

}  // namespace lumenfold::lodestar
