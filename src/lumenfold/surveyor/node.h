#pragma once
// The records of the information graph: nodes (files and symbols) and edges.

#include <cstdint>
#include <string>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::surveyor {

// One node of the graph. File nodes use the first group of fields plus
// content/summary/file_hash; symbol nodes use the symbol fields instead.
struct Node {
  std::string id;
  std::string kind;  // "file" or "symbol"
  std::string path;
  std::string ext;
  int64_t size = 0;
  std::vector<std::string> keywords;
  // File nodes.
  std::string content;
  std::string summary;
  std::string file_hash;
  // Symbol nodes.
  std::string symbol_type;
  std::string name;
  int64_t line_start = 0;
  int64_t line_end = 0;
  std::string body_hash;
  std::string confidence;
  bool exported = false;
};

// The node as a JSON object with its members in document order: id, kind,
// path, ext, size, keywords, then content/summary/file_hash for a file node
// or the seven symbol members for any other kind.
common::Json as_dict(const Node& node);

// A relation between a file and a target: "imports", "requires",
// "references" or "contains".
struct Edge {
  std::string from;
  std::string to;
  std::string rel;
  bool operator==(const Edge&) const = default;
};

// {"from": ..., "to": ..., "rel": ...}
common::Json edge_to_json(const Edge& edge);

}  // namespace lumenfold::surveyor
