// Cost of the agent's retrieval and read tools, called in-process, on a
// scanned project of 10 000 files with the built-in retrieval module:
//
//   RetrieveFresh     graph_retrieve of a new query (new turn, ranking,
//                     action graph, retrieval cache written)
//   RetrieveCached    graph_retrieve answered from the retrieval cache
//   ReadFile          graph_read of a whole file
//   ReadSymbol        graph_read of "file::symbol"
//   ReadFileWithQuery graph_read of the file for a new query each time (a
//                     memory of the query is stored too)
// References, measured in the same run:
//   RankOnly          the retrieval module's ranking alone
//   ActionGraphSave   one atomic write of the action graph (each tool call
//                     writes it at least once)
//   ReadBytes         reading the file's bytes
//
// Prints the ratios (CPU time) and each tool's p50/p99 wall latency per
// call after the table.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/graph/info_graph_cache.h"
#include "lumenfold/lodestar/graph/symbol_index_cache.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/tools/graph_read.h"
#include "lumenfold/lodestar/tools/graph_retrieve.h"
#include "lumenfold/lodestar/tools/graph_scan.h"
#include "lumenfold/tsl/local_retrieval_module.h"

namespace {

namespace fs = std::filesystem;
using lumenfold::common::Json;
using namespace lumenfold::lodestar;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 10000;
const std::string kReadFile = "pkg42/sub0/module_42.py";

// The scanned project and a server state over it, shared by every
// benchmark of the run. Created and removed by main().
class Fixture {
 public:
  static Fixture& get() { return *instance_; }

  Fixture() {
    instance_ = this;
    dir_ = lumenfold::bench::make_temp_dir("lumenfold-agent-bench");
    lumenfold::bench::write_synthetic_project(dir_ / "proj", kFiles);
    Settings settings;
    settings.project_root = dir_ / "proj";
    settings.data_dir = dir_ / "data";
    module_ = lumenfold::tsl::make_local_retrieval_module(settings.tsl_local_retrieval).release();
    state_ = std::make_unique<ServerState>(settings, std::unique_ptr<RetrievalModule>(module_));
    Json scanned = graph_scan({settings.project_root.string()}, *state_);
    if (!scanned["ok"].get<bool>()) throw std::runtime_error("scan failed");
    symbol_ = first_symbol_of(kReadFile);
  }
  ~Fixture() {
    state_.reset();
    fs::remove_all(dir_);
    instance_ = nullptr;
  }
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;

  ServerState& state() { return *state_; }
  RetrievalModule& module() { return *module_; }
  const std::string& symbol() const { return symbol_; }
  // Wall latency of each call in microseconds, per tool benchmark.
  std::vector<double>& latencies(const std::string& name) { return latencies_[name]; }
  std::map<std::string, std::vector<double>>& all_latencies() { return latencies_; }

 private:
  std::string first_symbol_of(const std::string& file) {
    const Json& index = state_->graphs.symbol_index.get(state_->settings.symbol_index_file())->doc();
    for (auto it = index.begin(); it != index.end(); ++it) {
      if (it.key().rfind(file + "::", 0) == 0) return it.key();
    }
    throw std::runtime_error("no symbol in " + file);
  }

  static inline Fixture* instance_ = nullptr;
  fs::path dir_;
  RetrievalModule* module_ = nullptr;  // owned by state_
  std::unique_ptr<ServerState> state_;
  std::string symbol_;
  std::map<std::string, std::vector<double>> latencies_;
};

template <typename F>
void timed(std::vector<double>& sink, F&& call) {
  auto start = Clock::now();
  call();
  sink.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
}

void BM_RetrieveFresh(benchmark::State& st) {
  ServerState& state = Fixture::get().state();
  state.settings.enforce_single_retrieve = true;
  std::vector<double>& sink = Fixture::get().latencies("RetrieveFresh");
  int i = 0;
  for (auto _ : st) {
    // A query key never asked before: a new turn and a cache miss.
    std::string query = "process_" + std::to_string(i++) + " request handler";
    timed(sink, [&] { benchmark::DoNotOptimize(graph_retrieve({query, 5, 12}, state)); });
  }
}

void BM_RetrieveCached(benchmark::State& st) {
  ServerState& state = Fixture::get().state();
  state.settings.enforce_single_retrieve = false;
  graph_retrieve({"helper value pipeline", 5, 12}, state);
  std::vector<double>& sink = Fixture::get().latencies("RetrieveCached");
  for (auto _ : st) {
    timed(sink, [&] {
      Json out = graph_retrieve({"helper value pipeline", 5, 12}, state);
      if (!out.contains("retrieval_cache_hit")) st.SkipWithError("not served from the cache");
      benchmark::DoNotOptimize(out);
    });
  }
  state.settings.enforce_single_retrieve = true;
}

// `with_query`: each read names a new query, so it also stores a memory
// of what the query found (the context store is rewritten every call).
void read_loop(benchmark::State& st, const std::string& file, const char* name, bool with_query = false) {
  ServerState& state = Fixture::get().state();
  std::vector<double>& sink = Fixture::get().latencies(name);
  int i = 0;
  for (auto _ : st) {
    // A fresh turn, so neither the repeat check nor the budget answers.
    state.turn.reset();
    const std::string query = with_query ? "q" + std::to_string(i++) : "";
    timed(sink, [&] {
      Json out = graph_read({file, 20000, query, ""}, state);
      if (!out["ok"].get<bool>()) st.SkipWithError("read refused");
      benchmark::DoNotOptimize(out);
    });
  }
}

void BM_ReadFile(benchmark::State& st) { read_loop(st, kReadFile, "ReadFile"); }
void BM_ReadSymbol(benchmark::State& st) { read_loop(st, Fixture::get().symbol(), "ReadSymbol"); }
void BM_ReadFileWithQuery(benchmark::State& st) { read_loop(st, kReadFile, "ReadFileWithQuery", true); }

void BM_RankOnly(benchmark::State& st) {
  Fixture& fx = Fixture::get();
  std::shared_ptr<const Json> graph =
      fx.state().graphs.info_graph.get(fx.state().settings.info_graph_file(), fx.state().settings.locked_project_root);
  int i = 0;
  for (auto _ : st) {
    std::string query = "process_" + std::to_string(i++) + " request handler";
    benchmark::DoNotOptimize(fx.module().retrieve(*graph, query, 5, 12));
  }
}

void BM_ActionGraphSave(benchmark::State& st) {
  const Settings& settings = Fixture::get().state().settings;
  Json graph = load_action_graph(settings.action_graph_file());
  for (auto _ : st) save_action_graph(settings.action_graph_file(), graph);
}

void BM_ReadBytes(benchmark::State& st) {
  const fs::path path = Fixture::get().state().settings.project_root / kReadFile;
  for (auto _ : st) benchmark::DoNotOptimize(lumenfold::common::read_file(path));
}

void print_percentiles() {
  std::printf("%-16s %10s %10s %8s\n", "tool call", "p50 (us)", "p99 (us)", "calls");
  for (auto& [name, us] : Fixture::get().all_latencies()) {
    if (us.empty()) continue;
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[std::min(us.size() - 1, static_cast<size_t>(q * us.size()))]; };
    std::printf("%-16s %10.0f %10.0f %8zu\n", name.c_str(), at(0.50), at(0.99), us.size());
  }
}

}  // namespace

BENCHMARK(BM_RetrieveFresh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RetrieveCached)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadSymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFileWithQuery)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RankOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ActionGraphSave)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadBytes)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Fixture fixture;
  // The first ranking builds the module's index of the graph; every later
  // call of a real session reuses it.
  graph_retrieve({"warm up the index", 5, 12}, fixture.state());
  lumenfold::bench::RatioReporter reporter({{"BM_RetrieveFresh", "BM_RankOnly"},
                                            {"BM_RetrieveCached", "BM_ActionGraphSave"},
                                            {"BM_ReadFile", "BM_ActionGraphSave"},
                                            {"BM_ReadSymbol", "BM_ReadFile"},
                                            {"BM_ReadFile", "BM_ReadBytes"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratios();
  print_percentiles();
  benchmark::Shutdown();
  return 0;
}
