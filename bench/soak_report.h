#pragma once
// The soak's figures and the summary it prints at the end.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "soak_checks.h"
#include "soak_client.h"
#include "soak_server.h"

namespace lumenfold::bench {

// What the checks made while the server was down after each kill saw,
// over all of them.
struct CheckpointTally {
  int checks = 0;
  int64_t memories_present = 0;  // acknowledged memories found, summed over the checks
  int64_t edits_acked = 0;       // acknowledged edits checked, summed over the checks
  int with_lost_memories = 0;
  int64_t max_lost_memories = 0;
  int with_lost_edits = 0;
  int64_t max_lost_edits = 0;
  std::vector<std::string> file_problems;  // "after kill N: ..."
  std::vector<std::string> loss_examples;
  // Adds one checkpoint's findings; `kill` numbers it.
  void add(int kill, const FileCheck& files, const MemoryCheck& memories, const EditCheck& edits);
};

struct RunFigures {
  uint64_t seed = 0;
  int clients = 0;
  int64_t calls_per_client = 0;
  int project_files = 0;
  double wall_seconds = 0;
  CallStats calls{};
  int kills = 0;
  int restarts = 0;
  bool restart_failed = false;             // gave up starting it again
  std::vector<std::string> failed_starts;  // starts that did not answer, with the server's last words
  std::vector<std::string> port_moves;
  std::optional<int> stop_status;  // exit status after SIGTERM; nullopt: killed or signalled
  FileCheck files;                 // at the end
  MemoryCheck memories;            // at the end
  EditCheck edits;                 // at the end
  CheckpointTally checkpoints;
  std::vector<RssLife> lives;
  int64_t rss_growth_mib = 0;
};

// Prints the summary table and returns the reasons the run failed (none
// when it passed): a lost memory or edit (at the end or at a kill), an
// unparsable or set-aside state file, a server that did not come up at
// its first start after a kill or did not exit 0 on SIGTERM, a call given up, or a life whose resident
// memory grew by more than the threshold (also from the first life's peak
// to the last one's).
std::vector<std::string> report(const RunFigures& run);

}  // namespace lumenfold::bench
