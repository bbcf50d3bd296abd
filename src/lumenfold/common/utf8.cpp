#include "lumenfold/common/utf8.h"

namespace lumenfold::common {

namespace {

// Length of the well-formed sequence starting at `pos`, or 0 when the bytes
// there do not form one (RFC 3629: no overlongs, no surrogates, nothing
// above U+10FFFF).
size_t valid_sequence_length(std::string_view s, size_t pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(pos);
  if (c < 0x80) return 1;
  size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (pos + len > s.size()) return 0;
  if (byte(pos + 1) < lo || byte(pos + 1) > hi) return 0;
  for (size_t i = 2; i < len; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
  }
  return len;
}

// Length of the line break at `pos` (0 when there is none).
size_t line_break_length(std::string_view s, size_t pos) {
  unsigned char c = static_cast<unsigned char>(s[pos]);
  switch (c) {
    case '\r':
      return (pos + 1 < s.size() && s[pos + 1] == '\n') ? 2 : 1;
    case '\n':
    case '\v':
    case '\f':
    case 0x1C:
    case 0x1D:
    case 0x1E:
      return 1;
    case 0xC2:  // U+0085
      return (pos + 1 < s.size() && static_cast<unsigned char>(s[pos + 1]) == 0x85) ? 2 : 0;
    case 0xE2:  // U+2028, U+2029
      if (pos + 2 < s.size() && static_cast<unsigned char>(s[pos + 1]) == 0x80) {
        unsigned char t = static_cast<unsigned char>(s[pos + 2]);
        if (t == 0xA8 || t == 0xA9) return 3;
      }
      return 0;
    default:
      return 0;
  }
}

}  // namespace

std::string drop_invalid_utf8(std::string_view bytes) {
  // Almost every file is valid: check first and copy once.
  size_t first_bad = 0;
  while (first_bad < bytes.size()) {
    size_t len = valid_sequence_length(bytes, first_bad);
    if (len == 0) break;
    first_bad += len;
  }
  if (first_bad == bytes.size()) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t len = valid_sequence_length(bytes, pos);
    if (len == 0) {
      ++pos;
      continue;
    }
    out.append(bytes.substr(pos, len));
    pos += len;
  }
  return out;
}

std::string normalize_newlines(std::string_view text) {
  if (text.find('\r') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

size_t code_point_count(std::string_view text) {
  size_t n = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

size_t byte_offset_of(std::string_view text, size_t n) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (count == n) return i;
      ++count;
    }
  }
  return text.size();
}

std::string_view cut_code_points(std::string_view text, size_t n) { return text.substr(0, byte_offset_of(text, n)); }

char32_t decode_at(std::string_view text, size_t& pos) {
  size_t len = valid_sequence_length(text, pos);
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  char32_t cp;
  switch (len) {
    case 1:
      cp = byte(0);
      break;
    case 2:
      cp = ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
      break;
    case 3:
      cp = ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
      break;
    case 4:
      cp = ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
      break;
    default:
      ++pos;
      return 0xFFFD;
  }
  pos += len;
  return cp;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t len = line_break_length(text, pos);
    if (len == 0) {
      ++pos;
      continue;
    }
    lines.push_back(text.substr(start, pos - start));
    pos += len;
    start = pos;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool is_space(char32_t cp) {
  // The white space that text trimming and splitting treat as blank: the
  // ASCII controls \t..\r and 0x1C..0x1F, the space, and Unicode's
  // separators and spaces.
  if (cp == ' ' || (cp >= 0x09 && cp <= 0x0D) || (cp >= 0x1C && cp <= 0x1F)) return true;
  if (cp < 0x85) return false;
  return cp == 0x85 || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 ||
         cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

std::string_view trim_left(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t next = pos;
    if (!is_space(decode_at(text, next))) break;
    pos = next;
  }
  return text.substr(pos);
}

std::string_view trim(std::string_view text) {
  text = trim_left(text);
  size_t end = text.size();
  while (end > 0) {
    size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    size_t pos = start;
    if (!is_space(decode_at(text, pos))) break;
    end = start;
  }
  return text.substr(0, end);
}

std::vector<std::string_view> split_whitespace(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  size_t word_start = std::string_view::npos;
  while (pos < text.size()) {
    size_t here = pos;
    bool space = is_space(decode_at(text, pos));
    if (space && word_start != std::string_view::npos) {
      parts.push_back(text.substr(word_start, here - word_start));
      word_start = std::string_view::npos;
    } else if (!space && word_start == std::string_view::npos) {
      word_start = here;
    }
  }
  if (word_start != std::string_view::npos) parts.push_back(text.substr(word_start));
  return parts;
}

}  // namespace lumenfold::common
