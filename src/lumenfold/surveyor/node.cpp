#include "lumenfold/surveyor/node.h"

#include <nlohmann/json.hpp>

namespace lumenfold::surveyor {

using common::Json;

Json as_dict(const Node& node) {
  Json d = Json::object();
  d["id"] = node.id;
  d["kind"] = node.kind;
  d["path"] = node.path;
  d["ext"] = node.ext;
  d["size"] = node.size;
  d["keywords"] = node.keywords;
  if (node.kind == "file") {
    d["content"] = node.content;
    d["summary"] = node.summary;
    d["file_hash"] = node.file_hash;
  } else {
    d["symbol_type"] = node.symbol_type;
    d["name"] = node.name;
    d["line_start"] = node.line_start;
    d["line_end"] = node.line_end;
    d["body_hash"] = node.body_hash;
    d["confidence"] = node.confidence;
    d["exported"] = node.exported;
  }
  return d;
}

Json edge_to_json(const Edge& edge) {
  Json e = Json::object();
  e["from"] = edge.from;
  e["to"] = edge.to;
  e["rel"] = edge.rel;
  return e;
}

}  // namespace lumenfold::surveyor
