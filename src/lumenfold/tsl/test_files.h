#pragma once
// Test files: a query about behaviour is almost never answered by a test,
// yet tests repeat the names of the code they exercise, so they outscore
// the code on words alone.

#include <string_view>

namespace lumenfold::tsl {

// Whether the file id names a test file: a directory named test, tests,
// testing or __tests__ on its path, or a file name test_*, *_test.*,
// *.test.*, *.spec.*, tests.py or conftest.py.
bool is_test_file(std::string_view file_id);

// Whether the query asks about tests themselves: it asks to write, add,
// fix or update tests, or speaks of test coverage or a test suite.
bool query_is_about_tests(std::string_view query);

}  // namespace lumenfold::tsl
