#include "soak_report.h"

#include <algorithm>
#include <cstdio>

namespace lumenfold::bench {

namespace {

constexpr double kKiBPerMiB = 1024.0;
constexpr size_t kMaxProblemsShown = 10;

std::string mib(long kib) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(kib) / kKiBPerMiB);
  return buf;
}

void print_stats_row(const char* name, const KindStats& s) {
  std::printf("%-22s %8lld %8lld %8lld %8lld %9lld %8lld\n", name, static_cast<long long>(s.calls),
              static_cast<long long>(s.acked), static_cast<long long>(s.refused), static_cast<long long>(s.http_errors),
              static_cast<long long>(s.no_answer), static_cast<long long>(s.gave_up));
}

// Returns the sum over all kinds.
KindStats print_calls(const CallStats& calls) {
  std::printf("\n%-22s %8s %8s %8s %8s %9s %8s\n", "call", "calls", "acked", "refused", "http-err", "no-answer",
              "gave-up");
  KindStats all;
  for (size_t k = 0; k < kCallKindCount; ++k) {
    all.add(calls[k]);
    print_stats_row(call_kind_name(static_cast<CallKind>(k)), calls[k]);
  }
  print_stats_row("total", all);
  for (size_t k = 0; k < kCallKindCount; ++k) {
    if (calls[k].first_refusal.empty()) continue;
    std::printf("  first refusal of %s: %s\n", call_kind_name(static_cast<CallKind>(k)),
                calls[k].first_refusal.c_str());
  }
  return all;
}

// The highest peak among `lives[from, to)`.
long highest_peak(const std::vector<RssLife>& lives, size_t from, size_t to) {
  long highest = 0;
  for (size_t i = from; i < to; ++i) highest = std::max(highest, lives[i].peak_kib);
  return highest;
}

// Prints each life's resident memory; returns whether memory grew too
// much within a life, or from the first quarter of the lives to the last
// (peaks of single lives vary with the calls they happened to serve).
bool print_rss(const std::vector<RssLife>& lives, int64_t threshold_mib) {
  const long threshold = static_cast<long>(threshold_mib * 1024);
  bool grew = false;
  std::printf("\nserver resident memory per life, MiB: ready / 1 s in / peak / end (samples)\n");
  for (size_t i = 0; i < lives.size(); ++i) {
    const RssLife& l = lives[i];
    bool flagged = l.start_kib >= 0 && l.end_kib - l.start_kib > threshold;
    grew = grew || flagged;
    std::printf("  life %3zu: %6s / %6s / %6s / %6s (%d)%s\n", i + 1, mib(l.ready_kib).c_str(),
                l.start_kib < 0 ? "-" : mib(l.start_kib).c_str(), mib(l.peak_kib).c_str(), mib(l.end_kib).c_str(),
                l.samples, flagged ? "  GREW" : "");
  }
  if (lives.empty()) return grew;
  size_t quarter = std::max<size_t>(1, lives.size() / 4);
  long first = highest_peak(lives, 0, quarter);
  long last = highest_peak(lives, lives.size() - quarter, lives.size());
  bool drifted = last - first > threshold;
  std::printf("  highest peak: first %zu lives %s, last %zu lives %s, all %s (threshold %lld MiB)%s\n", quarter,
              mib(first).c_str(), quarter, mib(last).c_str(), mib(highest_peak(lives, 0, lives.size())).c_str(),
              static_cast<long long>(threshold_mib), drifted ? "  GREW across lives" : "");
  return grew || drifted;
}

void print_list(const char* title, const std::vector<std::string>& items) {
  if (items.empty()) return;
  std::printf("  %s (%zu):\n", title, items.size());
  for (size_t i = 0; i < items.size() && i < kMaxProblemsShown; ++i) std::printf("    %s\n", items[i].c_str());
}

void print_state(const RunFigures& r) {
  std::printf("\nserver: %d kills, %d restarts, %zu port moves; SIGTERM at the end: %s\n", r.kills, r.restarts,
              r.port_moves.size(), r.stop_status ? ("exit " + std::to_string(*r.stop_status)).c_str() : "killed");
  print_list("port moves", r.port_moves);
  print_list("failed starts", r.failed_starts);
  std::printf("state files at the end: %d checked, %zu unparsable, %zu set aside, %d leftover temporaries\n",
              r.files.checked, r.files.unparsable.size(), r.files.set_aside.size(), r.files.leftover_temporaries);
  print_list("unparsable at the end", r.files.unparsable);
  print_list("set aside at the end", r.files.set_aside);
  const CheckpointTally& c = r.checkpoints;
  std::printf("checks while down after a kill: %d; acknowledged memories found %lld, acknowledged edits checked %lld\n",
              c.checks, static_cast<long long>(c.memories_present), static_cast<long long>(c.edits_acked));
  std::printf("  with lost memories %d (max %lld), with lost edits %d (max %lld), file problems %zu\n",
              c.with_lost_memories, static_cast<long long>(c.max_lost_memories), c.with_lost_edits,
              static_cast<long long>(c.max_lost_edits), c.file_problems.size());
  print_list("file problems after kills", c.file_problems);
  print_list("losses after kills", c.loss_examples);
  std::printf("memories: %lld acknowledged, %lld present, %lld pruned by the store's caps, %lld lost\n",
              static_cast<long long>(r.memories.acked), static_cast<long long>(r.memories.present),
              static_cast<long long>(r.memories.pruned), static_cast<long long>(r.memories.lost));
  print_list("lost memories", r.memories.lost_examples);
  std::printf(
      "edits: %lld acknowledged, %lld missing from edited_count, %lld missing from the newest decisions, "
      "%lld applied without an answer\n",
      static_cast<long long>(r.edits.acked), static_cast<long long>(r.edits.count_short),
      static_cast<long long>(r.edits.decisions_missing), static_cast<long long>(r.edits.over_counted));
  print_list("lost edits", r.edits.examples);
}

std::vector<std::string> failures_of(const RunFigures& r, const KindStats& all, bool rss_grew) {
  std::vector<std::string> out;
  if (r.restart_failed) out.push_back("the server did not come back after a kill");
  if (!r.failed_starts.empty()) out.push_back("the server failed to start after a kill");
  if (r.stop_status != 0) out.push_back("the server did not exit 0 on SIGTERM");
  if (r.memories.lost > 0 || r.checkpoints.with_lost_memories > 0) out.push_back("acknowledged memories lost");
  if (r.edits.count_short + r.edits.decisions_missing > 0 || r.checkpoints.with_lost_edits > 0) {
    out.push_back("acknowledged edits lost");
  }
  if (!r.files.unparsable.empty() || !r.files.set_aside.empty() || !r.checkpoints.file_problems.empty()) {
    out.push_back("unparsable or set-aside state files");
  }
  if (all.gave_up > 0) out.push_back("calls never answered");
  if (rss_grew) out.push_back("resident memory grew beyond the threshold");
  return out;
}

}  // namespace

void CheckpointTally::add(int kill, const FileCheck& files, const MemoryCheck& memories, const EditCheck& edits) {
  ++checks;
  memories_present += memories.present;
  edits_acked += edits.acked;
  std::string at = "after kill " + std::to_string(kill) + ": ";
  for (const std::string& bad : files.unparsable) file_problems.push_back(at + bad);
  for (const std::string& aside : files.set_aside) file_problems.push_back(at + "set aside " + aside);
  int64_t lost_edits = edits.count_short + edits.decisions_missing;
  if (memories.lost > 0) ++with_lost_memories;
  if (lost_edits > 0) ++with_lost_edits;
  max_lost_memories = std::max(max_lost_memories, memories.lost);
  max_lost_edits = std::max(max_lost_edits, lost_edits);
  for (const std::string& e : memories.lost_examples) loss_examples.push_back(at + "lost memory " + e);
  for (const std::string& e : edits.examples) loss_examples.push_back(at + e);
}

std::vector<std::string> report(const RunFigures& r) {
  std::printf("\nsoak: seed %llu, %d clients x %lld calls, %d files, wall %.1f s\n",
              static_cast<unsigned long long>(r.seed), r.clients, static_cast<long long>(r.calls_per_client),
              r.project_files, r.wall_seconds);
  KindStats all = print_calls(r.calls);
  print_state(r);
  bool rss_grew = print_rss(r.lives, r.rss_growth_mib);
  std::vector<std::string> failures = failures_of(r, all, rss_grew);
  std::printf("\nverdict: %s\n", failures.empty() ? "PASS" : "FAIL");
  for (const std::string& f : failures) std::printf("  - %s\n", f.c_str());
  return failures;
}

}  // namespace lumenfold::bench
