#include "lumenfold/tsl/test_files.h"

#include <array>

#include "lumenfold/common/regex.h"

namespace lumenfold::tsl {
namespace {

constexpr std::array<std::string_view, 4> kTestDirs = {"test", "tests", "testing", "__tests__"};
constexpr std::array<std::string_view, 2> kTestFileNames = {"tests.py", "conftest.py"};

bool is_test_dir(std::string_view name) {
  for (std::string_view d : kTestDirs) {
    if (name == d) return true;
  }
  return false;
}

bool is_test_name(std::string_view name) {
  for (std::string_view n : kTestFileNames) {
    if (name == n) return true;
  }
  if (name.starts_with("test_")) return true;
  size_t dot = name.find('.');
  std::string_view stem = name.substr(0, dot);
  if (stem.ends_with("_test")) return true;
  if (dot == std::string_view::npos) return false;
  std::string_view rest = name.substr(dot);
  return rest.starts_with(".test.") || rest.starts_with(".spec.");
}

}  // namespace

bool is_test_file(std::string_view file_id) {
  size_t start = 0;
  while (true) {
    size_t slash = file_id.find('/', start);
    if (slash == std::string_view::npos) return is_test_name(file_id.substr(start));
    if (is_test_dir(file_id.substr(start, slash - start))) return true;
    start = slash + 1;
  }
}

bool query_is_about_tests(std::string_view query) {
  // Requests whose object is a test: "add a regression test", "write unit
  // tests for", "the test suite", "improve test coverage". A "test case"
  // in a bug report is usually the reproduction, so it does not count.
  static const common::Regex kAboutTests(
      R"(\b(?:add|write|create|fix|update|extend|improve)\s+(?:(?:a|an|the|some|more|new|missing|unit|regression|failing)\s+)*tests?\b)"
      R"(|\btest\s+(?:coverage|suite)s?\b)",
      common::kRegexCaseless);
  return kAboutTests.search(query).has_value();
}

}  // namespace lumenfold::tsl
