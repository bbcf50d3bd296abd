// tsl-rank: ranks the files of a project for one query read from standard
// input and prints their ids, best first, one a line. Scans the project
// in-process, so it needs nothing but the directory.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/json.h"
#include "lumenfold/surveyor/scan.h"
#include "lumenfold/tsl/corpus.h"
#include "lumenfold/tsl/project_index.h"
#include "lumenfold/tsl/query_mentions.h"
#include "lumenfold/tsl/ranker.h"
#include "lumenfold/tsl/retriever.h"

namespace fs = std::filesystem;
namespace tsl = lumenfold::tsl;

namespace {

// Exit status of a command-line usage error, as most Unix tools use.
constexpr int kUsageError = 2;
// The server's defaults for graph_retrieve, used by --json.
constexpr int kJsonTopFiles = 5;
constexpr int kJsonTopEdges = 12;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void print_mentions(const tsl::QueryMentions& m) {
  for (const tsl::PathMention& p : m.paths) std::fprintf(stderr, "path %s in %s\n", p.path.c_str(), p.function.c_str());
  for (const std::string& d : m.dotted) std::fprintf(stderr, "dotted %s\n", d.c_str());
  for (const tsl::NameMention& n : m.names) {
    std::fprintf(stderr, "name %s weight=%.2f count=%d\n", n.name.c_str(), n.code_weight, n.count);
  }
}

void print_explained(const tsl::ProjectIndex& index, const tsl::RankedFile& r) {
  std::printf("%s\t%.3f text=%.3f path=%.3f module=%.3f defs=%.3f\n", index.files()[r.doc].id.c_str(), r.score, r.text,
              r.path, r.module, r.defs);
}

// The graph to rank: the document in `graph_file` when given (its "root"
// says where the texts are), else a fresh scan of `root_arg`.
std::optional<lumenfold::common::Json> load_graph(const std::string& root_arg, const std::string& graph_file) {
  if (!graph_file.empty()) {
    std::optional<std::string> text = lumenfold::common::read_file(graph_file);
    std::optional<lumenfold::common::Json> graph = text ? lumenfold::common::parse_json(*text) : std::nullopt;
    if (!graph || !graph->is_object()) {
      std::cerr << "tsl-rank: error: --graph " << graph_file << " is not a graph document\n";
      return std::nullopt;
    }
    return graph;
  }
  std::error_code ec;
  fs::path root = fs::canonical(root_arg, ec);
  if (ec || !fs::is_directory(root)) {
    std::cerr << "tsl-rank: error: --root " << root_arg << " is not a directory\n";
    return std::nullopt;
  }
  return lumenfold::surveyor::scan(root);
}

int run(const std::string& root_arg, const std::string& graph_file, int top, bool explain, bool timing, bool as_json) {
  std::string query((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  auto t0 = std::chrono::steady_clock::now();
  std::optional<lumenfold::common::Json> loaded = load_graph(root_arg, graph_file);
  if (!loaded) return 1;
  const lumenfold::common::Json& graph = *loaded;
  double scan_s = seconds_since(t0);
  auto t1 = std::chrono::steady_clock::now();
  tsl::Retriever retriever;
  const tsl::ProjectIndex& index = retriever.index_for(graph);
  double index_s = seconds_since(t1);
  if (as_json) {
    std::printf("%s\n", lumenfold::common::dump_indented(
                            retriever.retrieve(graph, query, top > 0 ? top : kJsonTopFiles, kJsonTopEdges))
                            .c_str());
    return 0;
  }
  auto t2 = std::chrono::steady_clock::now();
  std::vector<tsl::RankedFile> ranked = tsl::rank_files(index, query);
  double query_s = seconds_since(t2);
  size_t limit = top > 0 ? std::min<size_t>(ranked.size(), static_cast<size_t>(top)) : ranked.size();
  for (size_t i = 0; i < limit; ++i) {
    if (explain) {
      print_explained(index, ranked[i]);
    } else {
      std::printf("%s\n", index.files()[ranked[i].doc].id.c_str());
    }
  }
  if (explain) print_mentions(tsl::find_mentions(query));
  if (timing) {
    std::fprintf(stderr, "files=%zu scan=%.3fs index=%.3fs query=%.4fs\n", index.doc_count(), scan_s, index_s, query_s);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Rank a project's files for a query read from standard input."};
  std::string root;
  std::string graph_file;
  int top = 0;
  bool explain = false;
  bool timing = false;
  bool as_json = false;
  app.add_option("--root", root, "Project root to scan and rank.");
  app.add_option("--graph", graph_file, "Rank this information graph document instead of scanning.");
  app.add_option("--top", top, "Print at most this many files (0: all that match).");
  app.add_flag("--explain", explain,
               "Print each file's score and its parts, and the query's mentions to standard error.");
  app.add_flag("--json", as_json, "Print the retrieval module's answer (top files with scores, symbols, edges).");
  app.add_flag("--timing", timing, "Print scan, index and query times to standard error.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int status = app.exit(e);
    return e.get_exit_code() == 0 ? status : kUsageError;
  }
  if (root.empty() == graph_file.empty()) {
    std::cerr << "tsl-rank: error: give exactly one of --root and --graph\n";
    return kUsageError;
  }
  return run(root, graph_file, top, explain, timing, as_json);
}
