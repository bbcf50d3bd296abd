#pragma once
// The JSON vocabulary shared by both programs: one document type that keeps
// member order, and the writers for the layouts our documents use.

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace lumenfold::common {

using Json = nlohmann::ordered_json;

// Pretty layout: two spaces per level, every member and element on its own
// line, ": " between key and value, [] and {} for empty containers.
// Non-ASCII is written as \uXXXX (UTF-16 units, surrogate pairs above
// U+FFFF), so the text is pure ASCII. No trailing line break.
std::string dump_indented(const Json& doc);

// Appends `value` laid out as dump_indented lays out a value nested `depth`
// levels deep (its inner lines indented by 2 * (depth + 1) spaces), for
// writers that assemble a document from parts.
void append_indented(std::string& out, const Json& value, int depth);

// One line, ", " between items and ": " between key and value; ASCII-only
// like dump_indented.
std::string dump_spaced(const Json& doc);
// Appends `value` in that layout.
void append_spaced(std::string& out, const Json& value);

// One line without any spaces ("," and ":"), ASCII-only. Used for small
// answers on the HTTP routes.
std::string dump_compact(const Json& doc);

// One line without spaces, non-ASCII kept as UTF-8 (the text block of a tool
// result is UTF-8, not escaped). Indent 2 when `indent` is true.
std::string dump_utf8(const Json& doc, bool indent);

// Appends member `key` to object `obj` without searching for it first
// (ordered_json's lookup is linear, so building a large object key by key is
// quadratic). REQUIRES: `obj` is an object that does not hold `key`.
void append_new_member(Json& obj, std::string key, Json value);

// The deepest nesting of arrays and objects any of our parsers accepts.
// Copying, comparing and writing a value recurse once per level, so a body
// of 100 000 brackets would overflow the stack; real documents nest a few
// levels.
inline constexpr int kMaxJsonDepth = 512;

// Whether the arrays and objects of `text` nest at most `limit` levels
// deep. Looks only at brackets outside strings: the text need not be JSON.
bool nests_within(std::string_view text, int limit);
// Whether `text` holds a NUL byte. JSON text never does (inside a string it
// must be escaped), but nlohmann's parser takes one for the end of the
// input, so "{}\0garbage" would read as {}: its callers refuse such text
// first.
bool holds_nul(std::string_view text);

// Parses `text` (a leading UTF-8 byte-order mark is skipped). Never throws:
// returns nullopt for text that is not JSON or nests deeper than
// kMaxJsonDepth.
std::optional<Json> parse_json(std::string_view text);

}  // namespace lumenfold::common
