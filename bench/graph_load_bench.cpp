// Cost of serving the information graph and the symbol index of a large
// project: 10 000 files of 24 000 characters each and 50 000 symbols (a
// graph document of about 290 MB), generated once in a temporary directory.
//
//   InfoGraphFirstLoad   first call of a fresh cache (stream, strip, parse)
//   InfoGraphCachedLoad  call with the file unchanged
//   SymbolIndexFirstLoad first call of a fresh cache
//   SymbolIndexLookup    cached index + one lookup by symbol id
//   ReadFile             reference: read the graph's bytes, nothing more
//   PlainParse           reference: read and parse the graph with nlohmann
//   Stat                 reference: one stat() of the graph file
//
// Prints ratios against the references and the memory held by the loaded
// graph after the table.

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/lodestar/graph/info_graph_cache.h"
#include "lumenfold/lodestar/graph/symbol_index_cache.h"
#include "lumenfold/lodestar/server/settings.h"

namespace {

namespace fs = std::filesystem;
using lumenfold::common::Json;
using namespace lumenfold::lodestar;

constexpr int kFiles = 10000;
constexpr int kSymbolsPerFile = 5;  // 50 000 symbols in all
constexpr size_t kContentChars = 24000;

// One line of Python-like text, already escaped for JSON: quotes, a line
// break and a non-ASCII letter, as the scanner writes them.
constexpr std::string_view kContentLine =
    "    def handler(self, request):\\n        return self.cache.get(\\\"key\\\", "
    "{\\\"caf\\u00e9\\\": 1})  # see docs\\n";

// Whole lines only, so no escape is ever cut.
std::string escaped_content() {
  std::string content;
  while (content.size() + kContentLine.size() <= kContentChars) content += kContentLine;
  return content;
}

std::string file_id(int i) { return "pkg" + std::to_string(i % 97) + "/module_" + std::to_string(i) + ".py"; }

void write_graph(std::ofstream& out, const std::string& root) {
  const std::string content = escaped_content();
  out << "{\n  \"root\": \"" << root << "\",\n  \"node_count\": " << kFiles * (1 + kSymbolsPerFile)
      << ",\n  \"edge_count\": " << kFiles * (1 + kSymbolsPerFile) << ",\n  \"file_count\": " << kFiles
      << ",\n  \"symbol_count\": " << kFiles * kSymbolsPerFile << ",\n  \"nodes\": [\n";
  for (int i = 0; i < kFiles; ++i) {
    const std::string id = file_id(i);
    out << (i > 0 ? ",\n" : "") << "    {\n      \"id\": \"" << id << "\",\n      \"kind\": \"file\",\n"
        << "      \"path\": \"" << id << "\",\n      \"ext\": \".py\",\n      \"size\": 24000,\n"
        << "      \"keywords\": [\n        \"handler\",\n        \"cache\",\n        \"request\"\n      ],\n"
        << "      \"content\": \"" << content << "\",\n"
        << "      \"summary\": \"Handlers for module " << i << ".\",\n      \"file_hash\": \"0123abcd\"\n    }";
    for (int s = 0; s < kSymbolsPerFile; ++s) {
      out << ",\n    {\n      \"id\": \"" << id << "::handler_" << s << "\",\n      \"kind\": \"symbol\",\n"
          << "      \"path\": \"" << id << "\",\n      \"name\": \"handler_" << s << "\",\n"
          << "      \"line_start\": " << s * 10 << ",\n      \"line_end\": " << s * 10 + 9 << ",\n"
          << "      \"body_hash\": \"89abcdef\",\n      \"confidence\": \"high\"\n    }";
    }
  }
  out << "\n  ],\n  \"edges\": [\n";
  for (int i = 0; i < kFiles; ++i) {
    for (int s = 0; s < kSymbolsPerFile; ++s) {
      out << (i + s > 0 ? ",\n" : "") << "    {\n      \"from\": \"" << file_id(i) << "\",\n      \"to\": \""
          << file_id(i) << "::handler_" << s << "\",\n      \"rel\": \"contains\"\n    }";
    }
    out << ",\n    {\n      \"from\": \"" << file_id(i) << "\",\n      \"to\": \"" << file_id((i + 1) % kFiles)
        << "\",\n      \"rel\": \"imports\"\n    }";
  }
  out << "\n  ]\n}";
}

void write_symbol_index(std::ofstream& out) {
  out << "{";
  for (int i = 0; i < kFiles; ++i) {
    for (int s = 0; s < kSymbolsPerFile; ++s) {
      out << (i + s > 0 ? ", " : "") << "\"" << file_id(i) << "::handler_" << s << "\": {\"line_start\": " << s * 10
          << ", \"line_end\": " << s * 10 + 9 << ", \"body_hash\": \"89abcdef\", \"confidence\": \"high\", \"path\": \""
          << file_id(i) << "\"}";
    }
  }
  out << "}";
}

// The generated data directory, shared by every benchmark of the run: one
// 290 MB graph per run is plenty. Created and removed by main().
class Fixture {
 public:
  static const Fixture& get() { return *instance_; }
  const Settings& settings() const { return settings_; }
  size_t graph_bytes() const { return fs::file_size(settings_.info_graph_file()); }

  Fixture() {
    instance_ = this;
    settings_.data_dir = lumenfold::bench::make_temp_dir("lumenfold-graph-bench");
    settings_.project_root = "/srv/project";
    std::ofstream graph(settings_.info_graph_file(), std::ios::binary);
    write_graph(graph, settings_.project_root.string());
    std::ofstream index(settings_.symbol_index_file(), std::ios::binary);
    write_symbol_index(index);
  }
  ~Fixture() {
    fs::remove_all(settings_.data_dir);
    instance_ = nullptr;
  }
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;

 private:
  static inline const Fixture* instance_ = nullptr;
  Settings settings_;
};

void BM_InfoGraphFirstLoad(benchmark::State& state) {
  const Fixture& fx = Fixture::get();
  for (auto _ : state) {
    InfoGraphCache cache;
    std::shared_ptr<const Json> graph = cache.get(fx.settings().info_graph_file(), fx.settings().locked_project_root);
    if (!graph) state.SkipWithError("graph did not load");
    benchmark::DoNotOptimize(graph.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fx.graph_bytes()));
}

void BM_InfoGraphCachedLoad(benchmark::State& state) {
  const Fixture& fx = Fixture::get();
  InfoGraphCache cache;
  cache.get(fx.settings().info_graph_file(), fx.settings().locked_project_root);
  for (auto _ : state)
    benchmark::DoNotOptimize(cache.get(fx.settings().info_graph_file(), fx.settings().locked_project_root).get());
}

void BM_SymbolIndexFirstLoad(benchmark::State& state) {
  const Fixture& fx = Fixture::get();
  for (auto _ : state) {
    SymbolIndexCache cache;
    benchmark::DoNotOptimize(cache.get(fx.settings().symbol_index_file()).get());
  }
}

void BM_SymbolIndexLookup(benchmark::State& state) {
  const Fixture& fx = Fixture::get();
  const fs::path path = fx.settings().symbol_index_file();
  SymbolIndexCache cache;
  if (cache.get(path)->size() != static_cast<size_t>(kFiles * kSymbolsPerFile)) {
    state.SkipWithError("symbol index incomplete");
  }
  std::vector<std::string> ids;
  for (int i = 0; i < 1000; ++i) ids.push_back(file_id(i * 7 % kFiles) + "::handler_" + std::to_string(i % 5));
  size_t k = 0;
  for (auto _ : state) {
    const Json* entry = cache.get(path)->find(ids[k++ % ids.size()]);
    benchmark::DoNotOptimize(entry);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ReadFile(benchmark::State& state) {
  const Fixture& fx = Fixture::get();
  for (auto _ : state) benchmark::DoNotOptimize(lumenfold::common::read_file(fx.settings().info_graph_file()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fx.graph_bytes()));
}

void BM_PlainParse(benchmark::State& state) {
  const Fixture& fx = Fixture::get();
  for (auto _ : state) {
    std::optional<std::string> text = lumenfold::common::read_file(fx.settings().info_graph_file());
    Json doc = Json::parse(*text);
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fx.graph_bytes()));
}

void BM_Stat(benchmark::State& state) {
  const Fixture& fx = Fixture::get();
  for (auto _ : state) benchmark::DoNotOptimize(lumenfold::common::mtime_ns(fx.settings().info_graph_file()));
}

// Memory held by one loaded graph, measured apart from the benchmarks so
// the references do not inflate it.
void print_graph_memory() {
  const Fixture& fx = Fixture::get();
  const long before = lumenfold::bench::resident_kib();
  InfoGraphCache cache;
  std::shared_ptr<const Json> graph = cache.get(fx.settings().info_graph_file(), fx.settings().locked_project_root);
  const long after = lumenfold::bench::resident_kib();
  std::cout << "graph file " << fx.graph_bytes() / (1 << 20) << " MiB; resident after first load " << after / 1024
            << " MiB (" << (after - before) / 1024 << " MiB held by the graph)\n";
}

}  // namespace

BENCHMARK(BM_InfoGraphFirstLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_InfoGraphCachedLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SymbolIndexFirstLoad)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SymbolIndexLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainParse)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Stat)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Fixture fixture;
  print_graph_memory();
  lumenfold::bench::RatioReporter reporter({{"BM_InfoGraphFirstLoad", "BM_PlainParse"},
                                            {"BM_InfoGraphFirstLoad", "BM_ReadFile"},
                                            {"BM_InfoGraphCachedLoad", "BM_Stat"},
                                            {"BM_SymbolIndexLookup", "BM_Stat"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratios();
  benchmark::Shutdown();
  return 0;
}
