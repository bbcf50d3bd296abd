// surveyor: scans a project and writes its information graph and symbol
// index.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "lumenfold/surveyor/graph_documents.h"
#include "lumenfold/surveyor/progress_meter.h"
#include "lumenfold/surveyor/scan.h"
#include "lumenfold/surveyor/scan_state.h"

namespace fs = std::filesystem;
using lumenfold::common::Json;
namespace surveyor = lumenfold::surveyor;

namespace {

// Where the graph goes when --out is not given.
constexpr char kDefaultOut[] = "tessel-dashboard/data/info_graph.json";
// Exit status of a command-line usage error, as most Unix tools use.
constexpr int kUsageError = 2;

// The directory part of `path` as typed (what precedes the last "/", with
// trailing slashes removed unless it is all slashes).
std::string directory_text(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  std::string head = path.substr(0, slash + 1);
  if (head.find_first_not_of('/') == std::string::npos) return head;
  while (!head.empty() && head.back() == '/') head.pop_back();
  return head;
}

std::string join_text(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

// When the scan reports its progress on stderr.
enum class Progress { kOnTerminal, kAlways, kNever };

struct RunOptions {
  Progress progress = Progress::kOnTerminal;
  unsigned jobs = 0;
  bool full = false;
};

// The documents of `root`, with the scan's progress on stderr as `options`
// ask.
surveyor::ScanDocuments scan_project(const fs::path& root, const surveyor::PreviousScan& previous,
                                     const RunOptions& options) {
  surveyor::ScanOptions scan_options;
  scan_options.jobs = options.jobs;
  scan_options.full = options.full;
  const bool terminal = isatty(STDERR_FILENO) == 1;
  if (options.progress == Progress::kNever || (options.progress == Progress::kOnTerminal && !terminal)) {
    return surveyor::scan_documents(root, previous, scan_options);
  }
  surveyor::ProgressMeter meter(std::cerr, terminal);
  meter.start(root.string());
  size_t files = 0;
  scan_options.progress = [&](size_t done, size_t total) {
    files = total;
    meter.update(done, total);
  };
  surveyor::ScanDocuments docs = surveyor::scan_documents(root, previous, scan_options);
  meter.finish(files);
  return docs;
}

int run(const std::string& root_arg, const std::string& out, const RunOptions& options) {
  std::error_code ec;
  fs::path root = fs::canonical(root_arg, ec);
  if (ec || !fs::is_directory(root)) {
    std::cerr << "surveyor: error: --root " << root_arg << " is not a directory\n";
    return 1;
  }
  fs::path out_path(out);
  fs::create_directories(fs::absolute(out_path).parent_path());
  fs::path index_path = fs::path(join_text(directory_text(out), surveyor::kSymbolIndexFileName));
  fs::path state_path = fs::path(join_text(directory_text(out), surveyor::kScanStateFileName));

  const surveyor::PreviousScan previous = surveyor::load_previous_scan(root, out_path, index_path, state_path);
  const surveyor::ScanDocuments docs = scan_project(root, previous, options);
  // Documents equal to those on disk are left as they are, stamps and all.
  if (docs.graph != previous.graph || docs.index != previous.index) {
    if (auto error = surveyor::write_graph_files(docs.graph, out_path, docs.index, index_path)) {
      std::cerr << "surveyor: error: " << *error << "\n";
      return 1;
    }
  }
  // Without its state the next scan merely reads every file again.
  if (auto error = surveyor::write_scan_state(state_path, root, out_path, index_path, docs.records)) {
    std::cerr << "surveyor: warning: " << *error << "\n";
  }
  std::cout << "Scanned: " << docs.file_count << " files, " << docs.symbol_count << " symbols, " << docs.edge_count
            << " edges\n";
  std::cout << "Wrote: " << out << "\n";
  std::cout << "Symbol index: " << index_path.string() << " (" << docs.index_count << " symbols)\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Scan project and build information graph JSON."};
  std::string root = ".";
  std::string out = kDefaultOut;
  app.add_option("--root", root, "Project root to scan.")->capture_default_str();
  app.add_option("--out", out, "Output JSON path.")->capture_default_str();
  bool progress = false;
  bool quiet = false;
  RunOptions options;
  app.add_flag("--progress", progress,
               "Report files done, total and rate on stderr even when it is not a terminal (on a terminal it is "
               "reported unless --quiet).");
  app.add_flag("--quiet", quiet, "Report no progress.");
  app.add_option("--jobs", options.jobs, "Files analysed at once (default: one per core).")->check(CLI::PositiveNumber);
  app.add_flag("--full", options.full,
               "Read every file again, even those whose size and modification time are unchanged since the last "
               "scan.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kUsageError;
  }
  try {
    options.progress = quiet ? Progress::kNever : progress ? Progress::kAlways : Progress::kOnTerminal;
    return run(root, out, options);
  } catch (const std::exception& e) {
    std::cerr << "surveyor: error: " << e.what() << "\n";
    return 1;
  }
}
