#pragma once
// Fast reading of large JSON documents with simdjson, for the documents
// whose size makes nlohmann's parser the bottleneck (a graph of ten
// thousand files is a hundred megabytes). The parsed DOM is converted into
// our Json only where a caller wants it.

#include <optional>
#include <string_view>

#include <simdjson.h>

#include "lumenfold/common/json.h"

namespace lumenfold::common {

// The value of `element` as a Json (members in document order).
Json to_json(simdjson::dom::element element);

// Appends `element` laid out exactly as append_indented(out,
// to_json(element), depth) would, converting the elements of arrays one at
// a time: a document of large lists is never held twice in memory.
void append_indented(std::string& out, simdjson::dom::element element, int depth);

// Parses `text` (a leading UTF-8 byte-order mark is skipped) into `parser`'s
// document; nullopt when it is not JSON. The element stays valid until the
// parser parses again.
std::optional<simdjson::dom::element> parse_fast(simdjson::dom::parser& parser, std::string_view text);

// The same for a string whose spare capacity (SIMDJSON_PADDING bytes) lets
// simdjson parse it in place instead of copying it first.
std::optional<simdjson::dom::element> parse_fast_in_place(simdjson::dom::parser& parser, const std::string& text);

// The document of `text` as a Json, parsed with simdjson; an empty object
// when it is not JSON.
Json parse_fast_to_json(std::string_view text);

}  // namespace lumenfold::common
