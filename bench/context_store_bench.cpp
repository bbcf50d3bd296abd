// Cost of storing one memory in a full context store (200 entries), against
// the least any store of that document must do: parse it and write it back
// (measured in the same run, on the same bytes).
//
//   UpsertMerge      upsert that merges into an existing entry
//   UpsertAppend     upsert of a new entry; pruning drops the oldest
//   CachedLoad       load served from the cache (file unchanged): a copy
//   CachedSnapshot   the shared read-only entries (file unchanged)
//   ReconcileQuiet   reconciliation that finds nothing to change, as before
//                    every memory search
//   ParseDump        reference: parse the store text and lay it out again
//   ParseDumpWrite   reference: the same plus the atomic write (fsync)
//
// Prints the upsert/reference ratios after the table.

#include <stdlib.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/graph/symbol_index.h"
#include "lumenfold/lodestar/memory/context_store.h"
#include "lumenfold/lodestar/memory/reconcile.h"
#include "lumenfold/lodestar/memory/symbol_lookup.h"
#include "lumenfold/lodestar/memory/upsert.h"

namespace {

namespace fs = std::filesystem;
using lumenfold::common::Json;
using namespace lumenfold::lodestar;

constexpr double kNow = 1767225600.0;
constexpr int kStoreSize = 200;

// A realistic memory: two sentences, a few tags, a symbol anchor.
Json sample_entry(int i) {
  std::string n = std::to_string(i);
  return Json{{"id", "mem:17672256000" + n},
              {"kind", i % 3 == 0 ? "decision" : "fact"},
              {"content", "Session tokens for module " + n +
                              " are refreshed in the middleware, not in the handler. Keep the refresh "
                              "window at five minutes so mobile clients do not log out."},
              {"tags", {"auth", "session", "m" + n}},
              {"files", {"src/mod" + n + "/auth.py::refresh"}},
              {"file_path", "src/mod" + n + "/auth.py"},
              {"symbol_id", "src/mod" + n + "/auth.py::refresh"},
              {"symbol_hash", "a1b2c3d4"},
              {"created_at", "2025-12-20T10:00:00+00:00"},
              {"created_epoch", 1766224800 + i},
              {"updated_at", "2025-12-20T10:00:00+00:00"},
              {"stale", false},
              {"stale_reason", ""},
              {"observed_queries", {"session refresh"}},
              {"evidence", {{"source", "graph_read"}, {"read_count", 2}}}};
}

struct Fixture {
  Fixture() {
    dir = lumenfold::bench::make_temp_dir("lumenfold-bench");
    file = dir / "context-store.json";
    Json doc = Json::array();
    for (int i = 0; i < kStoreSize; ++i) doc.push_back(sample_entry(i));
    text = lumenfold::common::dump_indented(doc);
    reset();
  }
  ~Fixture() { fs::remove_all(dir); }
  void reset() const { lumenfold::common::write_file_atomically(file, text); }

  fs::path dir;
  fs::path file;
  std::string text;
};

void BM_UpsertMerge(benchmark::State& state) {
  Fixture fx;
  ContextStore store(fx.file);
  SymbolLookup symbols = no_symbols();
  int i = 0;
  for (auto _ : state) {
    Json incoming = sample_entry(i++ % kStoreSize);
    incoming["observed_queries"] = {"query " + std::to_string(i % 7)};
    benchmark::DoNotOptimize(upsert_context_memory(store, incoming, symbols, kNow));
  }
}

void BM_UpsertAppend(benchmark::State& state) {
  Fixture fx;
  ContextStore store(fx.file);
  SymbolLookup symbols = no_symbols();
  int i = 0;
  for (auto _ : state) {
    Json incoming = sample_entry(kStoreSize + i);
    incoming["created_epoch"] = 1767000000 + i++;
    benchmark::DoNotOptimize(upsert_context_memory(store, incoming, symbols, kNow));
  }
}

void BM_CachedLoad(benchmark::State& state) {
  Fixture fx;
  ContextStore store(fx.file);
  SymbolLookup symbols = no_symbols();
  store.load(symbols, kNow);
  for (auto _ : state) benchmark::DoNotOptimize(store.load(symbols, kNow));
}

void BM_CachedSnapshot(benchmark::State& state) {
  Fixture fx;
  ContextStore store(fx.file);
  SymbolLookup symbols = no_symbols();
  store.load(symbols, kNow);
  for (auto _ : state) benchmark::DoNotOptimize(store.snapshot(symbols, kNow));
}

void BM_ReconcileQuiet(benchmark::State& state) {
  Fixture fx;
  Json index = Json::object();
  for (int i = 0; i < kStoreSize; ++i) {
    std::string n = std::to_string(i);
    index["src/mod" + n + "/auth.py::refresh"] = {{"body_hash", "a1b2c3d4"}, {"path", "src/mod" + n + "/auth.py"}};
  }
  SymbolIndex hashed(std::move(index));
  ContextStore store(fx.file);
  SymbolLookup symbols = lookup_in_index(hashed);
  reconcile_context_snapshot(store, symbols, kNow);
  for (auto _ : state) benchmark::DoNotOptimize(reconcile_context_snapshot(store, symbols, kNow));
}

void BM_ParseDump(benchmark::State& state) {
  Fixture fx;
  for (auto _ : state) {
    std::optional<std::string> text = lumenfold::common::read_file(fx.file);
    benchmark::DoNotOptimize(lumenfold::common::dump_indented(*lumenfold::common::parse_json(*text)));
  }
}

void BM_ParseDumpWrite(benchmark::State& state) {
  Fixture fx;
  for (auto _ : state) {
    std::optional<std::string> text = lumenfold::common::read_file(fx.file);
    std::string out = lumenfold::common::dump_indented(*lumenfold::common::parse_json(*text));
    benchmark::DoNotOptimize(lumenfold::common::write_file_atomically(fx.file, out));
  }
}

// Keeps each run's time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void print_ratios() const {
    auto ratio = [&](const char* a, const char* b) {
      auto ia = times_.find(a), ib = times_.find(b);
      if (ia == times_.end() || ib == times_.end()) return;
      std::cout << a << " / " << b << " = " << ia->second / ib->second << "\n";
    };
    ratio("BM_UpsertMerge", "BM_ParseDump");
    ratio("BM_UpsertMerge", "BM_ParseDumpWrite");
    ratio("BM_UpsertAppend", "BM_ParseDumpWrite");
    ratio("BM_CachedLoad", "BM_ParseDump");
    ratio("BM_CachedSnapshot", "BM_ParseDump");
    ratio("BM_ReconcileQuiet", "BM_ParseDump");
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

BENCHMARK(BM_UpsertMerge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpsertAppend)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CachedLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CachedSnapshot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReconcileQuiet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseDump)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseDumpWrite)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratios();
  benchmark::Shutdown();
  return 0;
}
