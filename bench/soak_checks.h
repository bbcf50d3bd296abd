#pragma once
// What the soak's clients were told was done (the ledger), and the checks
// that the server's data directory still holds it: every state file
// parses, every acknowledged memory is in the context store unless the
// store's own pruning rule removed it, and every acknowledged edit is
// counted in the action graph.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lumenfold::bench {

// One graph_add_memory call answered with "ok": true. The server stamps
// the memory with its clock's whole seconds somewhere between the two
// epochs, which the client read before sending and after the answer.
struct AckedMemory {
  std::string content;
  std::string file;  // the memory's one listed file: its anchor
  int64_t earliest_epoch = 0;
  int64_t latest_epoch = 0;
};

// One client's graph_register_edit calls. All of them name the client's
// own file, which no other call edits or reads.
struct ClientEdits {
  std::string file;
  std::vector<int64_t> acked;  // call numbers, ascending
  int64_t attempts = 0;        // requests sent, answered or not
};

struct LedgerSnapshot {
  std::vector<AckedMemory> memories;
  std::vector<ClientEdits> edits;  // by client
};

// Thread-safe record of acknowledged work.
class Ledger {
 public:
  explicit Ledger(std::vector<std::string> edit_files);
  void add_memory(AckedMemory memory);
  void add_edit_attempt(int client);
  void add_edit_ack(int client, int64_t call_number);
  LedgerSnapshot snapshot() const;

 private:
  mutable std::mutex mutex_;
  LedgerSnapshot data_;
};

// The summary of call `call_number` of `client`, unique per run; and the
// reverse, nullopt for any other text (or another seed's).
std::string edit_summary(uint64_t seed, int client, int64_t call_number);
struct EditId {
  int client;
  int64_t call_number;
};
std::optional<EditId> parse_edit_summary(std::string_view text, uint64_t seed);

struct FileCheck {
  int checked = 0;
  std::vector<std::string> unparsable;  // file names, with the reason
  std::vector<std::string> set_aside;   // "*.corrupt-*" copies the server made
  int leftover_temporaries = 0;         // "*.tmp-*" files of interrupted writes
};

// Every "*.json" file in `data_dir` parses; every "*.swap" file is empty or
// parses; every line of every "*.jsonl" file parses. Also lists the copies
// of damaged files the server set aside and counts leftover temporaries.
FileCheck check_state_files(const std::filesystem::path& data_dir);

struct MemoryCheck {
  int64_t acked = 0;
  int64_t present = 0;
  int64_t pruned = 0;  // gone, and the store's rule may have removed it
  int64_t lost = 0;    // gone though the rule keeps it
  std::vector<std::string> lost_examples;
};

// Looks for each acknowledged memory's content in context-store.json. A
// missing one counts as pruned when the store's rule could have dropped
// it, else as lost. The rule (memory_prune.h): newest first by whole
// creation second, each group (kind, symbol, file) keeps at most its cap
// (6 for our "fact" memories), up to 200 entries in all. So a memory may
// be gone when the store is full and it is not newer than the oldest
// entry kept, or when its group is full and it is not newer than the
// group's oldest. Ties count as pruned: the rule's order among equal
// seconds is not the acknowledgement order.
MemoryCheck check_memories(const std::filesystem::path& data_dir, const std::vector<AckedMemory>& acked);

struct EditCheck {
  int64_t acked = 0;
  // Acknowledged edits missing from their file's "edited_count".
  int64_t count_short = 0;
  // Acknowledged edits missing from the newest "decisions" although an
  // earlier edit of the same client is there.
  int64_t decisions_missing = 0;
  // Edits counted beyond the requests sent: a registration applied twice.
  int64_t over_counted = 0;
  std::vector<std::string> examples;
};

// Checks chat_action_graph.json against the clients' edits. The edited
// files' records are never read by the soak (a read replaces a file's
// record), so their "edited_count" must be at least the acknowledged
// edits; decisions are appended in order and the newest 20 kept, so for
// each client the ones there must be an unbroken run up to its last
// acknowledged edit.
EditCheck check_edits(const std::filesystem::path& data_dir, const std::vector<ClientEdits>& edits, uint64_t seed);

}  // namespace lumenfold::bench
