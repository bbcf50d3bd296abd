#include "lumenfold/lodestar/tools/graph_add_memory.h"

#include <ctime>

#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/mcp/input_limits.h"
#include "lumenfold/lodestar/memory/memory_entry.h"
#include "lumenfold/lodestar/server/server_state.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// Today's date in the machine's time zone, year-month-day.
std::string local_date(int64_t epoch_seconds) {
  std::time_t t = static_cast<std::time_t>(epoch_seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &local);
  return buf;
}

Json add_memory(const GraphAddMemoryArgs& args, ServerState& state) {
  double now = state.now();
  Json entry{{"type", args.type},
             {"content", args.content},
             {"tags", args.tags},
             {"files", args.files},
             {"date", local_date(state.now_seconds())},
             {"created_epoch", state.now_seconds()}};
  SymbolLookup symbols = state.symbols();
  std::vector<Json> entries = state.context_store.take(symbols, now);
  // An entry without content is no memory: normalising refuses it, and the
  // store would drop it at the next load anyway.
  size_t pruned = 0;
  if (std::optional<Json> normalized = normalize_memory_entry(entry, symbols, now)) {
    entries.push_back(std::move(*normalized));
    pruned = state.context_store.save(std::move(entries), now, ContextStore::Entries::kNormalized);
  }
  size_t total = state.context_store.load(symbols, now).size();
  // The cap stays, but the caller is told: a memory dropped without a word
  // looks to the agent like one it still has.
  return Json{{"ok", true}, {"total", total}, {"pruned", pruned}};
}

}  // namespace

Json graph_add_memory(const GraphAddMemoryArgs& args, ServerState& state) {
  InputCuts cuts;
  const GraphAddMemoryArgs bounded{cuts.text(args.type, "type", kMaxLabelChars), cuts.text(args.content, "content"),
                                   cuts.tags(args.tags, "tags"), cuts.files(args.files, "files")};
  return cuts.mark(add_memory(bounded, state));
}

}  // namespace lumenfold::lodestar
