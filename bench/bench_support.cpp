#include "bench_support.h"

#include <stdlib.h>

#include <fstream>
#include <iostream>
#include <stdexcept>

namespace lumenfold::bench {

namespace fs = std::filesystem;

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    seconds_[run.run_name.function_name] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
  }
}

void RatioReporter::print_ratios() const {
  for (const auto& [a, b] : ratios_) {
    auto ia = seconds_.find(a), ib = seconds_.find(b);
    if (ia == seconds_.end() || ib == seconds_.end()) continue;
    std::cout << a << " / " << b << " = " << ia->second / ib->second << " (CPU time)\n";
  }
}

void write_synthetic_project(const fs::path& root, int files) {
  for (int i = 0; i < files; ++i) {
    fs::path dir = root / ("pkg" + std::to_string(i % 100)) / ("sub" + std::to_string(i % 7));
    fs::create_directories(dir);
    std::ofstream out(dir / ("module_" + std::to_string(i) + ".py"));
    out << "\"\"\"Module " << i << " handles part of the request pipeline.\"\"\"\n"
        << "import os\nfrom pkg" << (i + 1) % 100 << ".sub0 import module_" << (i + 1) % 10 << "\n\n"
        << "class Handler" << i << ":\n    def run(self):\n        return os.getcwd()\n\n"
        << "def process_" << i << "(request):\n    return Handler" << i << "().run()\n\n"
        << "def helper_" << i << "(value):\n    return value * 2\n";
  }
}

long resident_kib(pid_t pid) {
  std::ifstream status(pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

std::filesystem::path make_temp_dir(const std::string& prefix) {
  std::string templ = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return templ;
}

}  // namespace lumenfold::bench
