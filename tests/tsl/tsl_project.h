#pragma once
// A small project on disk, scanned, for the ranking tests.

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/surveyor/scan.h"
#include "lumenfold/tsl/corpus.h"
#include "lumenfold/tsl/project_index.h"
#include "test_support/temp_dir.h"

namespace lumenfold::tsl {

class TslProject {
 public:
  explicit TslProject(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [path, text] : files) dir_.write(path, text);
  }
  common::Json graph() const { return surveyor::scan(dir_.path()); }
  ProjectIndex index() const { return ProjectIndex(load_corpus(graph())); }
  const testing::TempDir& dir() const { return dir_; }

 private:
  testing::TempDir dir_;
};

}  // namespace lumenfold::tsl
