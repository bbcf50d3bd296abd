#pragma once
// Small text operations used wherever the server handles a query or a file
// text: query terms and keys, excerpts, token estimates, timestamps and the
// tool-call log.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// At most 8 distinct lower-case ASCII words of 3+ characters, stop words
// removed, in order of appearance.
std::vector<std::string> query_terms(std::string_view query);
// The query terms joined by single blanks.
std::string query_key(std::string_view query);
// The parts of `text` around lines that mention a term (12 lines before and
// after each hit, chunks joined by an excerpt marker), at most `max_chars`
// code points; the head of `text` when no line mentions a term. `terms` are
// matched as lower-case substrings. A negative `max_chars` counts as 0.
std::string excerpt_by_terms(std::string_view text, const std::vector<std::string>& terms,
                             int64_t max_chars);
// Code points / 4, at least 1 for non-empty text.
int64_t est_tokens(std::string_view text);
// The part of a file reference `ref` before the first "::" (the file of a
// symbol id "path::name"), or all of `ref`.
std::string_view file_part(std::string_view ref);
// Whether `value` looks like a path of a file inside the project.
bool is_local_file_ref(std::string_view value);
// `epoch_seconds` (with its fraction) in UTC as 2026-01-31T09:15:02.123456+00:00,
// the fraction omitted when its microseconds are zero.
std::string iso_time(double epoch_seconds);
// The current time in that form.
std::string now_iso();
// The current Unix time in seconds, with its fraction.
double now_epoch();
// `epoch_seconds` in whole seconds (rounded down), as "ts" and
// "created_epoch" members hold times.
int64_t whole_seconds(double epoch_seconds);
// Appends {"timestamp", "tool", "payload"} as one line to `log_file`,
// creating its directory. Throws std::runtime_error when it cannot write.
void log_tool(const std::filesystem::path& log_file, std::string_view name, const common::Json& payload);

}  // namespace lumenfold::lodestar
