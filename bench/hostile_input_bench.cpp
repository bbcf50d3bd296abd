// Cost of each tool that takes free text, called in-process with the worst
// text an MCP body can carry (up to its 4 MiB limit), on a scanned project
// of 10 000 files with the built-in retrieval module. The server runs one
// call at a time, so every figure here is how long all other clients wait.
//
// Inputs (each about 4 MB unless said otherwise):
//   XRun          "x" repeated: one endless word
//   AbRun         "a b " repeated: millions of short words
//   RandomWords   3 MB of words drawn at random, half of them the
//                 project's own vocabulary (module, process_17, Handler3...)
//   OddUnicode    stacked combining marks, "İ" and "Σ" (whose lower case
//                 changes length), emoji sequences and right-to-left text
//   CodeMentions  paths, stack frames, dotted names and calls repeated
//
// Each benchmark is one tool with one input; its figure is the CPU time of
// one call. Every call must answer in well under a second.

#include <stdlib.h>

#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/tools/fallback_rg.h"
#include "lumenfold/lodestar/tools/graph_action_summary.h"
#include "lumenfold/lodestar/tools/graph_add_memory.h"
#include "lumenfold/lodestar/tools/graph_continue.h"
#include "lumenfold/lodestar/tools/graph_read.h"
#include "lumenfold/lodestar/tools/graph_register_edit.h"
#include "lumenfold/lodestar/tools/graph_retrieve.h"
#include "lumenfold/lodestar/tools/graph_scan.h"
#include "lumenfold/lodestar/tools/server_state.h"
#include "lumenfold/tsl/retrieval_module.h"

namespace {

namespace fs = std::filesystem;
using lumenfold::common::Json;
using namespace lumenfold::lodestar;

constexpr int kFiles = 10000;
// Just under the MCP body limit of 4 MiB, leaving room for the envelope.
constexpr size_t kHostileBytes = 4'000'000;
constexpr size_t kRandomWordsBytes = 3'000'000;
// A few calls per figure: each one is meant to be far below a second, and
// the bench must finish on a shared machine.
constexpr int kIterations = 3;
const std::string kReadFile = "pkg42/sub0/module_42.py";

std::string repeat_to(std::string_view unit, size_t bytes) {
  std::string out;
  out.reserve(bytes + unit.size());
  while (out.size() + unit.size() <= bytes) out.append(unit);
  return out;
}

std::string random_words(size_t bytes) {
  static const char* kProjectWords[] = {"module", "request", "pipeline", "handler", "process", "helper", "value",
                                        "Handler", "run", "getcwd", "import", "part", "handles"};
  std::mt19937 rng(42);  // fixed: every run times the same text
  std::string out;
  while (out.size() < bytes) {
    if (rng() % 2 == 0) {
      out += kProjectWords[rng() % std::size(kProjectWords)];
      if (rng() % 3 == 0) out += "_" + std::to_string(rng() % kFiles);
    } else {
      for (int n = 3 + static_cast<int>(rng() % 8); n > 0; --n) out += static_cast<char>('a' + rng() % 26);
    }
    out += (rng() % 10 == 0) ? "\n" : " ";
  }
  return out;
}

std::string odd_unicode(size_t bytes) {
  std::string unit = "e";
  for (int i = 0; i < 200; ++i) unit += "\u0301\u0323";  // one letter, 400 combining marks
  unit += " \u0130\u03a3\u03a3 \u05e9\u05dc\u05d5\u05dd \U0001F468\u200D\U0001F469\u200D\U0001F467 \u0130stanbul\n";
  return repeat_to(unit, bytes);
}

struct HostileInput {
  const char* name;
  std::string text;
};

const std::vector<HostileInput>& hostile_inputs() {
  static const std::vector<HostileInput> kInputs = {
      {"XRun", std::string(kHostileBytes, 'x')},
      {"AbRun", repeat_to("a b ", kHostileBytes)},
      {"RandomWords", random_words(kRandomWordsBytes)},
      {"OddUnicode", odd_unicode(kHostileBytes)},
      {"CodeMentions",
       repeat_to("File \"pkg1/sub0/module_1.py\", line 3, in process_1 a.b.c pkg2.sub0.module_2 `Handler2` run() ",
                 kHostileBytes)},
  };
  return kInputs;
}

// The scanned project and a server state over it, shared by every
// benchmark of the run. Created and removed by main().
class Fixture {
 public:
  static Fixture& get() { return *instance_; }

  Fixture() {
    instance_ = this;
    std::string templ = (fs::temp_directory_path() / "lumenfold-hostile-bench-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = templ;
    lumenfold::bench::write_synthetic_project(dir_ / "proj", kFiles);
    Settings settings;
    settings.project_root = dir_ / "proj";
    settings.data_dir = dir_ / "data";
    // Each call runs in full: no answer is reused from an earlier one.
    settings.enforce_single_retrieve = false;
    settings.enforce_reuse_gate = false;
    state_ = std::make_unique<ServerState>(settings, lumenfold::tsl::make_local_retrieval_module(settings));
    Json scanned = graph_scan({settings.project_root.string()}, *state_);
    if (!scanned["ok"].get<bool>()) throw std::runtime_error("scan failed");
  }
  ~Fixture() {
    state_.reset();
    fs::remove_all(dir_);
    instance_ = nullptr;
  }
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;

  ServerState& state() { return *state_; }
  // A prefix that makes each call's text new, so no cache answers it.
  std::string fresh_prefix() { return "call" + std::to_string(calls_++) + " "; }

 private:
  static inline Fixture* instance_ = nullptr;
  fs::path dir_;
  std::unique_ptr<ServerState> state_;
  int calls_ = 0;
};

using ToolCall = std::function<Json(const std::string& text, ServerState& state)>;

void run_tool(benchmark::State& st, const ToolCall& call, const std::string& text) {
  Fixture& fx = Fixture::get();
  for (auto _ : st) {
    st.PauseTiming();
    fx.state().turn.reset();
    const std::string input = fx.fresh_prefix() + text;
    st.ResumeTiming();
    try {
      benchmark::DoNotOptimize(call(input, fx.state()));
    } catch (const std::exception&) {
      // The dispatcher answers a throwing tool with a failed call; that is
      // an answer too, and its cost is what is measured here.
    }
  }
}

const std::vector<std::pair<const char*, ToolCall>>& tool_calls() {
  static const std::vector<std::pair<const char*, ToolCall>> kCalls = {
      {"Retrieve", [](const std::string& t, ServerState& s) { return graph_retrieve({t, 5, 12}, s); }},
      {"Continue", [](const std::string& t, ServerState& s) { return graph_continue({t, 5, 12, 8}, s); }},
      {"ReadQuery", [](const std::string& t, ServerState& s) { return graph_read({kReadFile, 256, t, ""}, s); }},
      {"ReadAnchor", [](const std::string& t, ServerState& s) { return graph_read({kReadFile, 256, "", t}, s); }},
      {"ReadFile", [](const std::string& t, ServerState& s) { return graph_read({t, 256, "", ""}, s); }},
      {"ActionSummary", [](const std::string& t, ServerState& s) { return graph_action_summary({t, 12}, s); }},
      {"RegisterEdit",
       [](const std::string& t, ServerState& s) { return graph_register_edit({{kReadFile, t}, t}, s); }},
      {"AddMemory",
       [](const std::string& t, ServerState& s) { return graph_add_memory({"note", t, {t}, {kReadFile}}, s); }},
      {"FallbackRg", [](const std::string& t, ServerState& s) { return fallback_rg({t, 30}, s); }},
  };
  return kCalls;
}

void register_benchmarks() {
  for (const auto& [tool, call] : tool_calls()) {
    for (const HostileInput& input : hostile_inputs()) {
      std::string name = std::string("BM_") + tool + "/" + input.name;
      benchmark::RegisterBenchmark(name.c_str(), [&call = call, &text = input.text](benchmark::State& st) {
        run_tool(st, call, text);
      })->Iterations(kIterations)->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Fixture fixture;
  // The first ranking builds the module's index of the graph; every later
  // call of a real session reuses it.
  graph_retrieve({"warm up the index", 5, 12}, fixture.state());
  register_benchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
