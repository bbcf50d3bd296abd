#pragma once
// Pieces shared by the benchmarks: a reporter that prints ratios between
// benchmarks of the same run, a generated Python project, and the resident
// memory of a process.

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

namespace lumenfold::bench {

// Keeps each run's CPU seconds per iteration and prints the given ratios
// after the run; CPU time, because on a shared machine wall time mostly
// measures the neighbours.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::vector<std::pair<std::string, std::string>> ratios) : ratios_(std::move(ratios)) {}
  void ReportRuns(const std::vector<Run>& runs) override;
  void print_ratios() const;

 private:
  std::vector<std::pair<std::string, std::string>> ratios_;
  std::map<std::string, double> seconds_;
};

// `files` small Python modules under `root` (pkgN/subM/module_I.py), each
// with a docstring, imports, a class and two functions.
void write_synthetic_project(const std::filesystem::path& root, int files);

// A fresh directory "<prefix>-XXXXXX" in the system's temporary directory.
// Throws std::runtime_error when it cannot be made.
std::filesystem::path make_temp_dir(const std::string& prefix);

// VmRSS of `pid` (0: this process) in KiB, or -1 when unknown.
long resident_kib(pid_t pid = 0);

}  // namespace lumenfold::bench
