// The graph upload route, fed the input as the request body. It never
// throws; it answers 200 exactly for a JSON object whose "nodes" and
// "edges" are lists, and then the stored graph is that object with the server's root,
// and the stored symbol index is an object; otherwise 400. Every answer is a
// JSON object saying whether it succeeded.

#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "lumenfold/common/file_io.h"
#include "lumenfold/common/state_file.h"
#include "lumenfold/lodestar/frontend/ingest_graph.h"
#include "server_test_state.h"

namespace {

using lumenfold::common::Json;
using lumenfold::fuzz::parse_or_abort;
using lumenfold::fuzz::require;
using lumenfold::fuzz::require_equal;
using namespace lumenfold::lodestar;

Json read_json_file(const std::filesystem::path& file, const char* what) {
  std::optional<std::string> text = lumenfold::common::read_file(file);
  require(text.has_value(), what);
  return parse_or_abort(*text, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumenfold::testing::TempDir dir;
  std::unique_ptr<ServerState> state = testing::make_test_state(dir);
  const std::string_view body = lumenfold::fuzz::as_text(data, size);

  RouteAnswer answer = ingest_graph(std::string(body), *state);
  Json reply = parse_or_abort(answer.body, "the answer is JSON");
  require(reply.is_object() && reply["ok"] == (answer.status == 200), "the answer says whether it succeeded");

  std::optional<Json> doc = lumenfold::common::parse_json(body);
  const bool is_graph = doc && doc->is_object() && doc->contains("nodes") && doc->contains("edges") &&
                        (*doc)["nodes"].is_array() && (*doc)["edges"].is_array();
  require(answer.status == (is_graph ? 200 : 400), "a graph is taken and anything else refused");
  if (is_graph) {
    (*doc)["root"] = state->settings.project_root.string();
    require_equal(read_json_file(state->settings.info_graph_file(), "the stored graph is JSON"), *doc,
                  "the stored graph is the upload with the server's root");
    require(read_json_file(state->settings.symbol_index_file(), "the stored index is JSON").is_object(),
            "the stored symbol index is an object");
  }
  require(!state->state_files.sync_all(), "state files reach the disk");
  return 0;
}
