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
//   Cjk           three-byte characters only, each written escaped as
//                 \uXXXX wherever it is stored
//
// List arguments (each about 4 MB of JSON):
//   ShortNames    hundreds of thousands of distinct short names
//   LongNames     a thousand names of 2000 two-byte characters, each
//                 still shorter than PATH_MAX
//   OverlongNames a hundred names of 40 000 bytes, longer than any path
//
// Each benchmark is one tool with one input; its figure is the CPU time of
// one call. Every call must answer in well under a second.
//
// BM_Repeated/* makes kRepeatedCalls calls in a row on a data directory
// fresh from the scan and reports the CPU time of the first, the last and
// the slowest call: what a call stores must not make the next ones slower.

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/lodestar/tools/fallback_rg.h"
#include "lumenfold/lodestar/tools/graph_action_summary.h"
#include "lumenfold/lodestar/tools/graph_add_memory.h"
#include "lumenfold/lodestar/tools/graph_continue.h"
#include "lumenfold/lodestar/tools/graph_impact.h"
#include "lumenfold/lodestar/tools/graph_read.h"
#include "lumenfold/lodestar/tools/graph_register_edit.h"
#include "lumenfold/lodestar/tools/graph_retrieve.h"
#include "lumenfold/lodestar/tools/graph_scan.h"
#include "lumenfold/tsl/local_retrieval_module.h"

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
// Enough calls to fill the window of recent decisions, where the text of
// every registration stays.
constexpr int kRepeatedCalls = 20;
const std::string kReadFile = "pkg42/sub0/module_42.py";

std::string repeat_to(std::string_view unit, size_t bytes) {
  std::string out;
  out.reserve(bytes + unit.size());
  while (out.size() + unit.size() <= bytes) out.append(unit);
  return out;
}

std::string random_words(size_t bytes) {
  static const char* kProjectWords[] = {"module",  "request", "pipeline", "handler", "process", "helper", "value",
                                        "Handler", "run",     "getcwd",   "import",  "part",    "handles"};
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
      {"Cjk", repeat_to("\u6771\u4eac\u90fd\u5e81\u306e\u8a2d\u8a08 ", kHostileBytes)},
  };
  return kInputs;
}

// Distinct names "a", "b", ..., "aa", ... until their JSON list holds about
// kHostileBytes.
std::vector<std::string> short_names() {
  std::vector<std::string> out;
  size_t json_bytes = 0;
  for (size_t n = 0; json_bytes < kHostileBytes; ++n) {
    std::string name;
    for (size_t k = n;; k = k / 26 - 1) {
      name.insert(name.begin(), static_cast<char>('a' + k % 26));
      if (k < 26) break;
    }
    json_bytes += name.size() + 3;  // quotes and comma
    out.push_back(std::move(name));
  }
  return out;
}

// `count` distinct names of `unit` repeated until each holds `bytes`.
std::vector<std::string> long_names(size_t count, std::string_view unit, size_t bytes) {
  std::vector<std::string> out;
  for (size_t i = 0; i < count; ++i) out.push_back(std::to_string(i) + repeat_to(unit, bytes));
  return out;
}

struct HostileList {
  const char* name;
  std::vector<std::string> items;
};

const std::vector<HostileList>& hostile_lists() {
  static const std::vector<HostileList> kLists = {
      {"ShortNames", short_names()},
      {"LongNames", long_names(1000, "\u00e9", 4000)},
      {"OverlongNames", long_names(100, "x", 40000)},
  };
  return kLists;
}

// The scanned project and a server state over it, shared by every
// benchmark of the run. Created and removed by main().
class Fixture {
 public:
  static Fixture& get() { return *instance_; }

  Fixture() {
    instance_ = this;
    dir_ = lumenfold::bench::make_temp_dir("lumenfold-hostile-bench");
    lumenfold::bench::write_synthetic_project(dir_ / "proj", kFiles);
    Settings settings;
    settings.project_root = dir_ / "proj";
    settings.data_dir = dir_ / "data";
    // Each call runs in full: no answer is reused from an earlier one.
    settings.enforce_single_retrieve = false;
    settings.enforce_reuse_gate = false;
    state_ = std::make_unique<ServerState>(settings,
                                           lumenfold::tsl::make_local_retrieval_module(settings.tsl_local_retrieval));
    Json scanned = graph_scan({settings.project_root.string()}, *state_);
    if (!scanned["ok"].get<bool>()) throw std::runtime_error("scan failed");
    fs::copy(settings.data_dir, dir_ / "scanned", fs::copy_options::recursive);
  }
  ~Fixture() {
    state_.reset();
    fs::remove_all(dir_);
    instance_ = nullptr;
  }
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;

  ServerState& state() { return *state_; }

  // A server over the scanned project whose data directory holds only what
  // the scan wrote.
  std::unique_ptr<ServerState> fresh_state() {
    Settings settings = state_->settings;
    settings.data_dir = dir_ / ("fresh" + std::to_string(fresh_dirs_++));
    fs::copy(dir_ / "scanned", settings.data_dir, fs::copy_options::recursive);
    return std::make_unique<ServerState>(settings,
                                         lumenfold::tsl::make_local_retrieval_module(settings.tsl_local_retrieval));
  }
  // A prefix that makes each call's text new, so no cache answers it.
  std::string fresh_prefix() { return "call" + std::to_string(calls_++) + " "; }

 private:
  static inline Fixture* instance_ = nullptr;
  fs::path dir_;
  std::unique_ptr<ServerState> state_;
  int calls_ = 0;
  int fresh_dirs_ = 0;
};

using ToolCall = std::function<Json(const std::string& text, ServerState& state)>;
using ListCall = std::function<Json(const std::vector<std::string>& items, ServerState& state)>;

// One call as the dispatcher makes it: a throwing tool is answered with a
// failed call; that is an answer too, and its cost is what is measured.
template <typename Call, typename Input>
void call_tool(const Call& call, const Input& input, ServerState& state) {
  try {
    benchmark::DoNotOptimize(call(input, state));
  } catch (const std::exception&) {
  }
}

// Each call's input made new by a prefix, so no cache answers it.
std::string fresh_input(Fixture& fx, const std::string& text) { return fx.fresh_prefix() + text; }
std::vector<std::string> fresh_input(Fixture& fx, std::vector<std::string> items) {
  const std::string prefix = fx.fresh_prefix();
  for (std::string& item : items) item.insert(0, prefix);
  return items;
}

template <typename Call, typename Input>
void run_tool(benchmark::State& st, const Call& call, const Input& input) {
  Fixture& fx = Fixture::get();
  for (auto _ : st) {
    st.PauseTiming();
    fx.state().turn.reset();
    const Input fresh = fresh_input(fx, input);
    st.ResumeTiming();
    call_tool(call, fresh, fx.state());
  }
}

double cpu_ms() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// kRepeatedCalls calls on a fresh data directory, each timed alone.
template <typename Call, typename Input>
void run_repeated(benchmark::State& st, const Call& call, const Input& input) {
  Fixture& fx = Fixture::get();
  for (auto _ : st) {
    st.PauseTiming();
    std::unique_ptr<ServerState> state = fx.fresh_state();
    std::vector<double> ms;
    for (int i = 0; i < kRepeatedCalls; ++i) {
      state->turn.reset();
      const Input fresh = fresh_input(fx, input);
      st.ResumeTiming();
      const double start = cpu_ms();
      call_tool(call, fresh, *state);
      ms.push_back(cpu_ms() - start);
      st.PauseTiming();
    }
    st.counters["first_ms"] = ms.front();
    st.counters["last_ms"] = ms.back();
    st.counters["max_ms"] = *std::max_element(ms.begin(), ms.end());
    state.reset();
    st.ResumeTiming();
  }
}

const std::vector<std::pair<const char*, ToolCall>>& tool_calls() {
  static const std::vector<std::pair<const char*, ToolCall>> kCalls = {
      {"Retrieve",
       [](const std::string& t, ServerState& s) {
         return graph_retrieve({t, 5, 12}, s);
       }},
      {"Continue",
       [](const std::string& t, ServerState& s) {
         return graph_continue({t, 5, 12, 8}, s);
       }},
      {"ReadQuery",
       [](const std::string& t, ServerState& s) {
         return graph_read({kReadFile, 256, t, ""}, s);
       }},
      {"ReadAnchor",
       [](const std::string& t, ServerState& s) {
         return graph_read({kReadFile, 256, "", t}, s);
       }},
      {"ReadFile",
       [](const std::string& t, ServerState& s) {
         return graph_read({t, 256, "", ""}, s);
       }},
      {"ActionSummary",
       [](const std::string& t, ServerState& s) {
         return graph_action_summary({t, 12}, s);
       }},
      {"RegisterEdit",
       [](const std::string& t, ServerState& s) {
         return graph_register_edit({{kReadFile, t}, t}, s);
       }},
      {"RegisterEditSummary",
       [](const std::string& t, ServerState& s) {
         return graph_register_edit({{kReadFile}, t}, s);
       }},
      {"AddMemory",
       [](const std::string& t, ServerState& s) {
         return graph_add_memory({"note", t, {t}, {kReadFile}}, s);
       }},
      {"FallbackRg",
       [](const std::string& t, ServerState& s) {
         return fallback_rg({t, 30}, s);
       }},
  };
  return kCalls;
}

const std::vector<std::pair<const char*, ListCall>>& list_calls() {
  using Names = std::vector<std::string>;
  static const std::vector<std::pair<const char*, ListCall>> kCalls = {
      {"RegisterEditFiles",
       [](const Names& l, ServerState& s) {
         return graph_register_edit({l, "Rename"}, s);
       }},
      {"Impact", [](const Names& l, ServerState& s) { return graph_impact({l}, s); }},
      {"AddMemoryTags",
       [](const Names& l, ServerState& s) {
         return graph_add_memory({"note", "Tagged", l, {}}, s);
       }},
      {"AddMemoryFiles",
       [](const Names& l, ServerState& s) {
         return graph_add_memory({"note", "Filed", {}, l}, s);
       }},
  };
  return kCalls;
}

template <typename Call, typename Input>
void register_one(const std::string& name, const Call& call, const Input& input) {
  benchmark::RegisterBenchmark(name.c_str(), [&call, &input](benchmark::State& st) { run_tool(st, call, input); })
      ->Iterations(kIterations)
      ->Unit(benchmark::kMillisecond);
}

template <typename Call, typename Input>
void register_repeated(const std::string& name, const Call& call, const Input& input) {
  benchmark::RegisterBenchmark(("BM_Repeated/" + name).c_str(),
                               [&call, &input](benchmark::State& st) { run_repeated(st, call, input); })
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
}

// The entry of `table` (calls or inputs) whose name is `name`.
template <typename Table, typename Name>
const auto& named(const Table& table, Name name_of, std::string_view name) {
  auto it = std::find_if(table.begin(), table.end(), [&](const auto& e) { return name_of(e) == name; });
  if (it == table.end()) throw std::logic_error("no benchmark input or call named " + std::string(name));
  return *it;
}

const ToolCall& tool_call(std::string_view name) {
  return named(
             tool_calls(), [](const auto& c) { return std::string_view(c.first); }, name)
      .second;
}
const ListCall& list_call(std::string_view name) {
  return named(
             list_calls(), [](const auto& c) { return std::string_view(c.first); }, name)
      .second;
}
const std::string& text_input(std::string_view name) {
  return named(
             hostile_inputs(), [](const HostileInput& i) { return std::string_view(i.name); }, name)
      .text;
}
const std::vector<std::string>& list_input(std::string_view name) {
  return named(
             hostile_lists(), [](const HostileList& l) { return std::string_view(l.name); }, name)
      .items;
}

void register_benchmarks() {
  for (const auto& [tool, call] : tool_calls()) {
    for (const HostileInput& input : hostile_inputs()) {
      register_one(std::string("BM_") + tool + "/" + input.name, call, input.text);
    }
  }
  for (const auto& [tool, call] : list_calls()) {
    for (const HostileList& input : hostile_lists()) {
      register_one(std::string("BM_") + tool + "/" + input.name, call, input.items);
    }
  }
  // The texts that are stored, and lists of names each stored as a file.
  register_repeated("RegisterEditSummary/OddUnicode", tool_call("RegisterEditSummary"), text_input("OddUnicode"));
  register_repeated("RegisterEditSummary/Cjk", tool_call("RegisterEditSummary"), text_input("Cjk"));
  register_repeated("RegisterEdit/XRun", tool_call("RegisterEdit"), text_input("XRun"));
  register_repeated("AddMemory/OddUnicode", tool_call("AddMemory"), text_input("OddUnicode"));
  register_repeated("ReadAnchor/OddUnicode", tool_call("ReadAnchor"), text_input("OddUnicode"));
  register_repeated("RegisterEditFiles/LongNames", list_call("RegisterEditFiles"), list_input("LongNames"));
  register_repeated("RegisterEditFiles/ShortNames", list_call("RegisterEditFiles"), list_input("ShortNames"));
  register_repeated("AddMemoryFiles/LongNames", list_call("AddMemoryFiles"), list_input("LongNames"));
  register_repeated("AddMemoryTags/LongNames", list_call("AddMemoryTags"), list_input("LongNames"));
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
