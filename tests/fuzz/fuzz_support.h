#pragma once
// What the fuzz targets share: checks that stop the run, with a message, when
// a property fails (libFuzzer then saves the input as a crash), and the
// conversions every target makes of its raw input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::fuzz {

// Aborts with `what` on stderr when `ok` is false.
void require(bool ok, const char* what);

// Aborts, printing both documents, when `actual` differs from `expected`.
void require_equal(const common::Json& actual, const common::Json& expected, const char* what);

// The document `text` holds; aborts with `what` when it is not JSON (for
// outputs that must always be JSON).
common::Json parse_or_abort(std::string_view text, const char* what);

// The input bytes as text.
inline std::string_view as_text(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input as the programs see a source file: ill-formed UTF-8 dropped and
// line breaks normalised, as the scanner reads files.
std::string as_source_text(std::string_view bytes);

}  // namespace lumenfold::fuzz
