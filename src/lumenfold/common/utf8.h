#pragma once
// UTF-8 text handling. Lengths and cuts are in code points, never bytes, so
// a cut never splits a multi-byte sequence. All functions expect valid UTF-8
// unless they say otherwise.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::common {

// Drops every byte that is not part of a well-formed UTF-8 sequence
// (overlongs, surrogates and code points above U+10FFFF are ill-formed).
std::string drop_invalid_utf8(std::string_view bytes);

// Turns "\r\n" and lone "\r" into "\n".
std::string normalize_newlines(std::string_view text);

// Number of code points.
size_t code_point_count(std::string_view text);

// The first `n` code points of `text` (all of it when shorter).
std::string_view cut_code_points(std::string_view text, size_t n);

// Byte offset of code point index `n` (text.size() when past the end).
size_t byte_offset_of(std::string_view text, size_t n);

// Decodes one code point at `pos`, advancing `pos`. Invalid bytes decode as
// U+FFFD and advance by one.
char32_t decode_at(std::string_view text, size_t& pos);

// Appends the UTF-8 form of `cp`.
void append_utf8(std::string& out, char32_t cp);

// Splits at every Unicode line boundary ("\n", "\r", "\r\n", \v, \f, 0x1C,
// 0x1D, 0x1E, U+0085, U+2028, U+2029). A final line break does not make an
// empty last line; empty text gives no lines. The views point into `text`.
std::vector<std::string_view> split_lines(std::string_view text);

// Leading and trailing white space removed (Unicode White_Space).
std::string_view trim(std::string_view text);
std::string_view trim_left(std::string_view text);

// Whether `cp` is Unicode white space as text trimming and splitting treat it.
bool is_space(char32_t cp);

// Splits at runs of white space, dropping empty pieces.
std::vector<std::string_view> split_whitespace(std::string_view text);

}  // namespace lumenfold::common
