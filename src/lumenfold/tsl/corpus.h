#pragma once
// The files of one information graph as the ranker sees them: ids,
// summaries, symbol ids and relation edges from the graph, and each file's
// full text. The graph a server hands out has no texts, so they are read
// again from the project on disk (the graph's "root"), falling back to a
// node's own "content" when the file cannot be read there.

#include <cstdint>
#include <string>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/tsl/source_defs.h"

namespace lumenfold::tsl {

struct CorpusFile {
  std::string id;
  std::string ext;  // lower case, with its dot
  std::string summary;
  std::vector<std::string> symbol_ids;  // the graph's symbol nodes of this file, in order
  // The same symbols as definitions: name, owner (the class: "B" of
  // "A.B.f"), class for a "model", line.
  std::vector<SourceDef> symbol_defs;
  std::string text;
  int64_t size = 0;  // bytes on disk as the graph recorded them
};

struct CorpusEdge {
  std::string from;
  std::string to;
  std::string rel;
};

struct Corpus {
  std::string root;
  std::vector<CorpusFile> files;  // one per distinct file id, in node order
  std::vector<CorpusEdge> edges;  // every edge except "contains", in graph order
};

// Reads `graph` (an information graph, with or without node contents) and
// the texts of its files. A file id seen twice keeps its first node. Nodes
// and edges missing their members are skipped. Never fails: a file that
// cannot be read gets its node's content, or else its keywords.
Corpus load_corpus(const common::Json& graph);

// A digest of what the index depends on: the root and every file node's id,
// hash and size. Two graphs with the same fingerprint rank alike, so an
// index built for one serves the other.
std::string graph_fingerprint(const common::Json& graph);

}  // namespace lumenfold::tsl
