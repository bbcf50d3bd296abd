#include "lumenfold/lodestar/frontend/ingest_graph.h"

#include <algorithm>
#include <filesystem>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/json_simd.h"
#include "lumenfold/lodestar/server/graph_documents_store.h"
#include "lumenfold/lodestar/server/server_state.h"
#include "lumenfold/surveyor/graph_documents.h"

// An uploaded graph carries the text of every file, so it is the largest
// thing the server ever reads: a hundred megabytes for a large project. It
// is parsed with simdjson, in place, and never converted whole into our
// JSON document type (which takes several times the text's size): the
// upload is laid out again one node at a time from the parsed form, and
// only what the symbol index reads of the symbol nodes is converted. The
// body is let go once parsed, and the parsed form once laid out, so peak
// memory stays near twice the body.

namespace lumenfold::lodestar {

using common::Json;

namespace {

RouteAnswer refuse(std::string error) {
  return {400, "application/json", common::dump_compact(Json{{"ok", false}, {"error", std::move(error)}})};
}

// Records nothing; keeps the parser's message for text that is not JSON.
class ErrorOnly : public nlohmann::json_sax<Json> {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    message = e.what();
    return false;
  }
  std::string message = "invalid JSON";
};

// The parser's own message for text that is not JSON: it names the place.
std::string parse_error_text(std::string_view body) {
  if (!common::nests_within(body, common::kMaxJsonDepth)) {
    return "JSON nests deeper than " + std::to_string(common::kMaxJsonDepth) + " levels";
  }
  ErrorOnly sax;
  Json::sax_parse(body, &sax);
  return sax.message;
}

using Members = std::vector<std::pair<std::string_view, simdjson::dom::element>>;

// The members of `object` as our document type keeps them: a repeated key
// stays at its first position and takes the last value.
Members members_of(simdjson::dom::object object) {
  Members members;
  for (simdjson::dom::key_value_pair member : object) {
    auto same_key = [&member](const auto& kept) { return kept.first == member.key; };
    auto it = std::find_if(members.begin(), members.end(), same_key);
    if (it == members.end()) {
      members.emplace_back(member.key, member.value);
    } else {
      it->second = member.value;
    }
  }
  return members;
}

const simdjson::dom::element* member(const Members& members, std::string_view key) {
  for (const auto& [name, value] : members) {
    if (name == key) return &value;
  }
  return nullptr;
}

// The document laid out as dump_indented lays it out, with its "root"
// (where it stands, or appended) replaced by `root`. `upload_size` is the
// upload's size: an upload laid out the same way comes out about as long,
// a compact one longer. Reserving twice that spares the doubling copies of
// a growing string, and costs nothing until written: untouched pages are
// not resident.
std::string lay_out_graph(const Members& members, const Json& root, size_t upload_size) {
  std::string out;
  out.reserve(2 * upload_size);
  out += '{';
  bool root_written = false;
  auto start_member = [&out](std::string_view key) {
    if (out.size() > 1) out += ',';
    out += "\n  ";
    common::append_indented(out, Json(key), 0);
    out += ": ";
  };
  for (const auto& [key, value] : members) {
    start_member(key);
    if (key == "root") {
      common::append_indented(out, root, 1);
      root_written = true;
    } else {
      common::append_indented(out, value, 1);
    }
  }
  if (!root_written) {
    start_member("root");
    common::append_indented(out, root, 1);
  }
  out += "\n}";
  return out;
}

// What the symbol index needs of a node: the members it reads, each as the
// whole node would hold it (a repeated key takes its last value).
constexpr std::string_view kIndexedMembers[] = {"kind",      "id",         "line_start", "line_end",
                                                "body_hash", "confidence", "path"};

// The symbol nodes of `nodes`, cut to the members the symbol index reads.
// The file nodes, which carry the text, are not converted at all.
Json symbol_nodes(simdjson::dom::array nodes) {
  Json symbols = Json::array();
  for (simdjson::dom::element node : nodes) {
    std::string_view kind;
    if (!node.is_object() || node["kind"].get_string().get(kind) != simdjson::SUCCESS || kind != "symbol") continue;
    Json slim = Json::object();
    for (simdjson::dom::key_value_pair m : simdjson::dom::object(node)) {
      if (std::find(std::begin(kIndexedMembers), std::end(kIndexedMembers), m.key) != std::end(kIndexedMembers)) {
        slim[std::string(m.key)] = common::to_json(m.value);
      }
    }
    symbols.push_back(std::move(slim));
  }
  return symbols;
}

// The size member `count_key`, or the length of the list when absent.
Json count_or_length(const Members& members, const char* count_key, simdjson::dom::array list) {
  if (const simdjson::dom::element* count = member(members, count_key)) return common::to_json(*count);
  return list.size();
}

// An accepted upload, ready to store.
struct Upload {
  std::string graph_text;
  Json symbol_index;
  Json answer;
};

// The upload as the general parser reads it, whole: simdjson refuses some
// JSON that it takes (integers past 64 bits, read as floats). Such uploads
// are rare enough to afford the larger form.
std::variant<Upload, RouteAnswer> read_upload_whole(std::string_view body, const Json& project_root) {
  std::optional<Json> doc = common::parse_json(body);
  if (!doc) return refuse(parse_error_text(body));
  if (!doc->is_object() || !doc->contains("nodes") || !doc->contains("edges")) {
    return refuse(kMissingNodesOrEdgesError);
  }
  const Json& nodes = (*doc)["nodes"];
  const Json& edges = (*doc)["edges"];
  if (!nodes.is_array() || !edges.is_array()) return refuse(kNodesOrEdgesNotListsError);
  Upload upload;
  upload.symbol_index = surveyor::build_symbol_index(nodes);
  upload.answer = Json{{"ok", true},
                       {"node_count", doc->contains("node_count") ? (*doc)["node_count"] : Json(nodes.size())},
                       {"edge_count", doc->contains("edge_count") ? (*doc)["edge_count"] : Json(edges.size())}};
  (*doc)["root"] = project_root;
  upload.graph_text = common::dump_indented(*doc);
  return upload;
}

// Parses and checks `body` and lays it out; the refusal when it is not a
// graph. The parsed form is let go on return, before anything is written.
std::variant<Upload, RouteAnswer> read_upload(std::string body, const Json& project_root) {
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> root = common::parse_fast_in_place(parser, body);
  if (!root) return read_upload_whole(body, project_root);
  // The parser keeps its own copy of every string.
  const size_t body_size = body.size();
  std::string().swap(body);

  simdjson::dom::object object;
  if (root->get(object) != simdjson::SUCCESS) return refuse(kMissingNodesOrEdgesError);
  Members members = members_of(object);
  const simdjson::dom::element* nodes_member = member(members, "nodes");
  const simdjson::dom::element* edges_member = member(members, "edges");
  if (!nodes_member || !edges_member) return refuse(kMissingNodesOrEdgesError);
  simdjson::dom::array nodes;
  simdjson::dom::array edges;
  if (nodes_member->get(nodes) != simdjson::SUCCESS || edges_member->get(edges) != simdjson::SUCCESS) {
    return refuse(kNodesOrEdgesNotListsError);
  }
  Upload upload;
  upload.symbol_index = surveyor::build_symbol_index(symbol_nodes(nodes));
  upload.answer = Json{{"ok", true},
                       {"node_count", count_or_length(members, "node_count", nodes)},
                       {"edge_count", count_or_length(members, "edge_count", edges)}};
  upload.graph_text = lay_out_graph(members, project_root, body_size);
  return upload;
}

}  // namespace

RouteAnswer ingest_graph(std::string body, ServerState& state) {
  std::variant<Upload, RouteAnswer> read = read_upload(std::move(body), Json(state.settings.project_root.string()));
  if (RouteAnswer* refused = std::get_if<RouteAnswer>(&read)) return std::move(*refused);
  Upload& upload = std::get<Upload>(read);
  store_graph_documents(upload.graph_text, upload.symbol_index, state);
  std::error_code ec;
  std::filesystem::remove(state.settings.retrieval_cache_file(), ec);
  return {200, "application/json", common::dump_compact(upload.answer)};
}

}  // namespace lumenfold::lodestar
