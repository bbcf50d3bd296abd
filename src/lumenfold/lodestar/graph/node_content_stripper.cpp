#include "lumenfold/lodestar/graph/node_content_stripper.h"

// The filter tracks only as much structure as it needs: the stack of open
// containers, whether the next string in an object is a key, and the raw
// bytes of short keys. It recognises the top-level "nodes" array and the
// objects directly inside it; there, a "content" key whose value is a string
// makes it skip that string. Keys written with escapes are not recognised,
// which only costs speed: the parser behind it drops such members too.
//
// Skipped strings are checked as strictly as the parser would check them
// (escapes, surrogate pairs, control characters, UTF-8), so a document is
// never made valid by the filter. Their bytes are scanned eight at a time.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "lumenfold/common/unique_fd.h"

namespace lumenfold::lodestar {
namespace {

constexpr std::string_view kNodesKey = "nodes";
constexpr std::string_view kContentKey = "content";
// Longer keys cannot be one of the two above.
constexpr size_t kMaxKeyBytes = 8;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Large enough that read() calls are cheap, small enough to stay in cache.
constexpr size_t kReadChunkBytes = 1 << 20;
// The filtered text is mostly node metadata; guess its size to avoid
// repeated growth.
constexpr size_t kExpectedShrinkFactor = 8;

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// Whether any byte of `v` is zero (may also flag bytes above a zero byte,
// which only sends the block to the byte-by-byte path).
constexpr uint64_t has_zero_byte(uint64_t v) { return (v - kOnes) & ~v & kHighBits; }

// Flags (in the high bit of each byte) the bytes of a block of eight
// string bytes that are not plain ASCII text: a quote, a backslash, a
// control character or a non-ASCII byte.
uint64_t attention_mask(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  const uint64_t quote = has_zero_byte(v ^ (kOnes * '"'));
  const uint64_t backslash = has_zero_byte(v ^ (kOnes * '\\'));
  const uint64_t control = (v - kOnes * 0x20) & ~v & kHighBits;
  const uint64_t non_ascii = v & kHighBits;
  return quote | backslash | control | non_ascii;
}

// The characters that may follow a backslash, "u" aside.
constexpr std::array<bool, 256> make_simple_escapes() {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("\"\\/bfnrt")) table[c] = true;
  return table;
}
constexpr std::array<bool, 256> kSimpleEscape = make_simple_escapes();

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Characters next to which a dropped blank cannot join two tokens.
bool is_delimiter(char c) {
  switch (c) {
    case '{':
    case '}':
    case '[':
    case ']':
    case ',':
    case ':':
    case '"':
      return true;
    default:
      return false;
  }
}

bool is_hex(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// REQUIRES: is_hex(c).
uint32_t hex_digit(unsigned char c) {
  if (c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

bool is_high_surrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void NodeContentStripper::feed(std::string_view piece) {
  size_t i = 0;
  while (at_start_ && i < piece.size()) {
    // Only a complete mark at the very start is dropped; anything else goes
    // through unchanged for the parser to judge.
    if (static_cast<unsigned char>(piece[i]) == static_cast<unsigned char>(kByteOrderMark[bom_matched_])) {
      ++bom_matched_;
      ++i;
      if (bom_matched_ == kByteOrderMark.size()) at_start_ = false;
      continue;
    }
    out_.append(kByteOrderMark.substr(0, bom_matched_));
    at_start_ = false;
  }
  while (i < piece.size() && !failed_) {
    switch (state_) {
      case State::kStructure:
        step_structure(piece, i);
        break;
      case State::kString:
        step_string(piece, i);
        break;
      case State::kSkippedString:
        step_skipped(piece, i);
        break;
    }
  }
}

std::optional<std::string> NodeContentStripper::finish() {
  if (at_start_) out_.append(kByteOrderMark.substr(0, bom_matched_));
  if (failed_ || state_ == State::kSkippedString) return std::nullopt;
  return std::move(out_);
}

void NodeContentStripper::step_structure(std::string_view piece, size_t& i) {
  const char c = piece[i++];
  if (is_blank(c)) {
    // Blank runs are dropped; one blank is kept only where two tokens
    // would otherwise run together ("1 2" must not become "12"), and before
    // a leading non-delimiter, so that a byte-order mark after blanks never
    // moves to the start, where the parser would skip it.
    pending_blank_ = true;
    return;
  }
  if (pending_blank_) {
    pending_blank_ = false;
    if ((out_.empty() || !is_delimiter(out_.back())) && !is_delimiter(c)) out_.push_back(' ');
  }
  out_.push_back(c);
  const bool in_object =
      !stack_.empty() && (stack_.back() == Container::kObject || stack_.back() == Container::kNodeObject);
  switch (c) {
    case '"':
      in_key_ = in_object && expect_key_;
      if (!in_key_ && next_string_is_skipped_) {
        state_ = State::kSkippedString;  // only the closing quote follows
      } else {
        state_ = State::kString;
        key_.clear();
        key_too_long_ = false;
        escape_ = false;
      }
      return;
    case '{': {
      const bool node = !stack_.empty() && stack_.back() == Container::kNodesArray;
      stack_.push_back(node ? Container::kNodeObject : Container::kObject);
      expect_key_ = true;
      break;
    }
    case '[':
      stack_.push_back(next_array_is_nodes_ ? Container::kNodesArray : Container::kArray);
      break;
    case '}':
    case ']':
      if (!stack_.empty()) stack_.pop_back();
      expect_key_ = false;
      break;
    case ',':
      expect_key_ = in_object;
      return;  // a separator leaves the pending flags to the next token
    case ':':
      expect_key_ = false;
      return;
    default:
      break;
  }
  next_array_is_nodes_ = false;
  next_string_is_skipped_ = false;
}

void NodeContentStripper::step_string(std::string_view piece, size_t& i) {
  const size_t start = i;
  while (i < piece.size()) {
    const char c = piece[i++];
    if (escape_) {
      escape_ = false;
      key_too_long_ = true;  // escaped keys are never recognised
    } else if (c == '\\') {
      escape_ = true;
    } else if (c == '"') {
      out_.append(piece.substr(start, i - start));
      state_ = State::kStructure;
      if (in_key_)
        end_key();
      else
        next_array_is_nodes_ = next_string_is_skipped_ = false;
      return;
    } else if (in_key_) {
      if (key_.size() < kMaxKeyBytes)
        key_.push_back(c);
      else
        key_too_long_ = true;
    }
  }
  out_.append(piece.substr(start));
}

void NodeContentStripper::end_key() {
  expect_key_ = false;
  const bool known = !key_too_long_;
  const size_t depth = stack_.size();
  next_array_is_nodes_ = known && depth == 1 && key_ == kNodesKey;
  next_string_is_skipped_ = known && depth >= 1 && stack_.back() == Container::kNodeObject && key_ == kContentKey;
}

void NodeContentStripper::step_skipped(std::string_view piece, size_t& i) {
  const char* data = piece.data();
  const size_t n = piece.size();
  // A sequence cut by the end of the previous piece is finished byte by
  // byte; everything else takes the fast path below.
  while (i < n && in_sequence()) {
    if (!check_skipped_byte(static_cast<unsigned char>(data[i++]))) {
      failed_ = true;
      return;
    }
  }
  while (i < n) {
    while (i + 8 <= n) {
      const uint64_t mask = attention_mask(data + i);
      if (mask != 0) {
        // The lowest flagged byte is always a true hit.
        i += static_cast<size_t>(__builtin_ctzll(mask)) / 8;
        break;
      }
      i += 8;
    }
    if (i >= n) return;
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == '"') {
      ++i;
      out_.push_back('"');
      state_ = State::kStructure;
      next_string_is_skipped_ = false;
      return;
    }
    if (c == '\\' && i + 1 < n && kSimpleEscape[static_cast<unsigned char>(data[i + 1])]) {
      i += 2;
      continue;
    }
    if (c == '\\' && i + 6 <= n && data[i + 1] == 'u') {
      uint32_t unit = 0;
      for (size_t k = i + 2; k < i + 6; ++k) {
        if (!is_hex(static_cast<unsigned char>(data[k]))) {
          failed_ = true;
          return;
        }
        unit = unit * 16 + hex_digit(static_cast<unsigned char>(data[k]));
      }
      i += 6;
      if (!take_escaped_unit(unit)) {
        failed_ = true;
        return;
      }
    } else {
      ++i;
      if (!check_skipped_byte(c)) {
        failed_ = true;
        return;
      }
    }
    // Includes the low surrogate that a high one calls for.
    while (i < n && in_sequence()) {
      if (!check_skipped_byte(static_cast<unsigned char>(data[i++]))) {
        failed_ = true;
        return;
      }
    }
  }
}

// One byte inside a skipped string, after the opening quote and before the
// closing one. Returns false when the string cannot be valid JSON.
bool NodeContentStripper::check_skipped_byte(unsigned char c) {
  if (utf8_left_ > 0) {
    if (c < utf8_lo_ || c > utf8_hi_) return false;
    --utf8_left_;
    utf8_lo_ = 0x80;
    utf8_hi_ = 0xBF;
    return true;
  }
  if (hex_left_ > 0) {
    if (!is_hex(c)) return false;
    hex_value_ = hex_value_ * 16 + hex_digit(c);
    return --hex_left_ > 0 || take_escaped_unit(hex_value_);
  }
  if (skip_escape_) {
    skip_escape_ = false;
    if (c == 'u') {
      hex_left_ = 4;
      hex_value_ = 0;
      return true;
    }
    return !want_low_surrogate_ && kSimpleEscape[c];
  }
  if (want_low_surrogate_ && c != '\\') return false;
  if (c == '\\') {
    skip_escape_ = true;
    return true;
  }
  if (c < 0x20) return false;
  if (c < 0x80) return true;
  // Well-formed UTF-8 only: no overlong forms, surrogates or code points
  // above U+10FFFF.
  if (c >= 0xC2 && c <= 0xDF) {
    utf8_left_ = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    utf8_left_ = 2;
    if (c == 0xE0) utf8_lo_ = 0xA0;
    if (c == 0xED) utf8_hi_ = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    utf8_left_ = 3;
    if (c == 0xF0) utf8_lo_ = 0x90;
    if (c == 0xF4) utf8_hi_ = 0x8F;
  } else {
    return false;
  }
  return true;
}

// The UTF-16 unit of one \u escape. The parser refuses a surrogate that is
// not part of a pair, so the filter must too.
bool NodeContentStripper::take_escaped_unit(uint32_t unit) {
  if (want_low_surrogate_) {
    want_low_surrogate_ = false;
    return is_low_surrogate(unit);
  }
  want_low_surrogate_ = is_high_surrogate(unit);
  return !is_low_surrogate(unit);
}

std::optional<std::string> read_graph_without_contents(const std::filesystem::path& path) {
  common::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return std::nullopt;
  NodeContentStripper stripper;
  struct stat st {};
  if (::fstat(file.get(), &st) == 0 && st.st_size > 0) {
    stripper.reserve(static_cast<size_t>(st.st_size) / kExpectedShrinkFactor);
  }
  std::string buffer(kReadChunkBytes, '\0');
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    stripper.feed(std::string_view(buffer.data(), static_cast<size_t>(n)));
  }
  return stripper.finish();
}

}  // namespace lumenfold::lodestar
