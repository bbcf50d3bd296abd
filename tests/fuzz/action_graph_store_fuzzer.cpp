// The action graph, read from a file holding the input. Whatever the file
// holds, loading never throws and gives an object whose known members have
// their types; the store gives the same document as a fresh load; saving
// it writes exactly the indented layout, which loads back unchanged; and an
// action recorded on top of it is seen alike by the store and by a fresh
// load.

#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/actions/action_graph.h"
#include "lumenfold/lodestar/actions/action_graph_store.h"
#include "test_support/temp_dir.h"

namespace {

using lumenfold::common::Json;
using lumenfold::fuzz::require;
using lumenfold::fuzz::require_equal;
using namespace lumenfold::lodestar;

constexpr int64_t kNow = 1769850902;

void check_member_types(const Json& graph) {
  require(graph.is_object(), "the graph is an object");
  for (const char* list : {"nodes", "edges", "actions", "decisions"}) {
    if (graph.contains(list)) require(graph[list].is_array(), "list members are lists");
  }
  if (graph.contains("files")) require(graph["files"].is_object(), "\"files\" is an object");
}

// What is on disk is the indented layout of `expected`, and loads as it.
void check_file(const std::filesystem::path& file, const Json& expected) {
  std::optional<std::string> text = lumenfold::common::read_file(file);
  require(text && *text == lumenfold::common::dump_indented(expected), "the saved file is the indented layout");
  require_equal(load_action_graph(file), expected, "the saved graph loads back unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumenfold::testing::TempDir dir;
  lumenfold::common::StateFileSyncer syncer;
  const std::filesystem::path file = dir.write("chat_action_graph.json", lumenfold::fuzz::as_text(data, size));

  const Json loaded = load_action_graph(file);
  check_member_types(loaded);
  ActionGraphStore store(file, &syncer);
  require_equal(store.document(), loaded, "the store loads what load_action_graph loads");
  for (const LoggedAction& action : store.logged_actions()) (void)action;

  store.save(kNow);
  check_file(file, loaded);

  store.record_action("graph_read", Json{{"target", "src/a.py"}, {"max_chars", 200}}, kNow);
  const Json recorded = store.document();
  require(!recorded["actions"].empty(), "the recorded action is kept");
  check_file(file, recorded);

  require(!syncer.sync_all(), "state files reach the disk");
  return 0;
}
