// Where a scan's parsing time goes, file by file: for every file under DIR
// that a scan reads and extracts symbols from, times that extraction (one
// parse and walk of the syntax tree for a language with a grammar, the
// regular expressions for the others) and prints the slowest files, then
// per language the files, bytes, seconds and MB/s.
//
// Times are the thread's CPU time, which other load on a shared machine
// hardly changes; reading the file is not counted. The last line is meant
// for scripts:
//   slowest: <ms> ms <KiB> KiB <path>; over <limit> ms: <n> of <files> files
//
// Usage: slowest_parse DIR [COUNT]   (COUNT slowest files listed, default 10)

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lumenfold/common/text_case.h"
#include "lumenfold/surveyor/file_id.h"
#include "lumenfold/surveyor/language.h"
#include "lumenfold/surveyor/scan.h"
#include "lumenfold/surveyor/symbols.h"
#include "lumenfold/surveyor/syntax_facts.h"
#include "lumenfold/surveyor/walk.h"

namespace {

namespace fs = std::filesystem;
using namespace lumenfold::surveyor;

// A file that takes longer than this stalls a scan noticeably: a project of
// a few thousand files scans in seconds.
constexpr double kSlowMillis = 100.0;
constexpr size_t kDefaultListed = 10;

struct Timing {
  std::string file_id;
  Language language = Language::kOther;
  int64_t bytes = 0;
  double millis = 0.0;
};

struct LanguageTotal {
  std::set<std::string> extensions;  // names the language in the table
  size_t files = 0;
  int64_t bytes = 0;
  double millis = 0.0;
};

double thread_cpu_millis() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Runs the symbol extraction the scan runs on this file and drops the
// result, so that freeing it counts as part of the cost.
void extract_as_the_scan_does(std::string_view text, const std::string& file_id, const std::string& ext,
                              Language language) {
  if (has_grammar(language)) {
    read_syntax(text, file_id, language);
  } else {
    extract_symbols_for_file(text, file_id, ext);
  }
}

// CPU milliseconds of that extraction; nullopt for a file the scan reads no
// symbols from.
std::optional<double> time_extraction(std::string_view text, const std::string& file_id, const std::string& ext) {
  const Language language = language_of(ext);
  if (!has_grammar(language) && !has_symbol_extractor(language)) return std::nullopt;
  const double start = thread_cpu_millis();
  extract_as_the_scan_does(text, file_id, ext, language);
  return thread_cpu_millis() - start;
}

std::vector<Timing> time_files(const fs::path& root) {
  fs::path resolved_root;
  std::vector<Timing> timings;
  for (const WalkedFile& walked : walk_files_resolved(root, &resolved_root)) {
    int64_t size = 0;
    std::optional<std::string> text = read_source_text(walked.path, &size);
    if (!text) continue;
    const std::string ext = lumenfold::common::to_lower(extension_of(walked.path));
    const std::string file_id = rel_resolved(walked.resolved, resolved_root);
    std::optional<double> millis = time_extraction(*text, file_id, ext);
    if (millis) timings.push_back({file_id, language_of(ext), size, *millis});
  }
  return timings;
}

double kib(int64_t bytes) { return static_cast<double>(bytes) / 1024.0; }

void print_slowest(const std::vector<Timing>& by_time, size_t count) {
  std::printf("%10s %9s  %s\n", "CPU ms", "KiB", "file");
  for (size_t i = 0; i < std::min(count, by_time.size()); ++i) {
    std::printf("%10.1f %9.1f  %s\n", by_time[i].millis, kib(by_time[i].bytes), by_time[i].file_id.c_str());
  }
}

void print_per_language(const std::vector<Timing>& timings) {
  std::map<Language, LanguageTotal> totals;
  LanguageTotal all;
  for (const Timing& t : timings) {
    for (LanguageTotal* sum : {&totals[t.language], &all}) {
      sum->extensions.insert(extension_of(t.file_id));
      ++sum->files;
      sum->bytes += t.bytes;
      sum->millis += t.millis;
    }
  }
  std::printf("%-28s %7s %9s %9s %8s\n", "language (extensions)", "files", "MiB", "CPU s", "MB/s");
  auto row = [](const std::string& name, const LanguageTotal& sum) {
    const double mb_per_s = sum.millis > 0 ? static_cast<double>(sum.bytes) / 1e3 / sum.millis : 0.0;
    std::printf("%-28s %7zu %9.2f %9.2f %8.2f\n", name.c_str(), sum.files, kib(sum.bytes) / 1024.0, sum.millis / 1e3,
                mb_per_s);
  };
  for (const auto& [language, sum] : totals) {
    std::string name;
    for (const std::string& ext : sum.extensions) name += (name.empty() ? "" : " ") + ext;
    row(name, sum);
  }
  row("total", all);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s DIR [COUNT]\n", argv[0]);
    return 2;
  }
  const size_t listed = argc == 3 ? static_cast<size_t>(std::strtoul(argv[2], nullptr, 10)) : kDefaultListed;
  std::vector<Timing> timings = time_files(argv[1]);
  if (timings.empty()) {
    std::fprintf(stderr, "no file under %s has symbols to extract\n", argv[1]);
    return 1;
  }
  std::sort(timings.begin(), timings.end(), [](const Timing& a, const Timing& b) { return a.millis > b.millis; });
  print_slowest(timings, listed);
  print_per_language(timings);
  const auto slow =
      std::count_if(timings.begin(), timings.end(), [](const Timing& t) { return t.millis > kSlowMillis; });
  std::printf("slowest: %.1f ms %.1f KiB %s; over %.0f ms: %td of %zu files\n", timings[0].millis,
              kib(timings[0].bytes), timings[0].file_id.c_str(), kSlowMillis, slow, timings.size());
  return 0;
}
