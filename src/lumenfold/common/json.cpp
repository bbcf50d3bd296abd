#include "lumenfold/common/json.h"

#include <charconv>

#include <nlohmann/json.hpp>

#include "lumenfold/common/utf8.h"

// Our documents are read by other programs byte for byte, so the writer is
// our own rather than nlohmann's dump(): nlohmann has no ", "/": " one-line
// layout and leaves DEL unescaped. Floats are still printed by nlohmann,
// whose shortest round-trip form matches what the documents' other readers
// expect.

namespace lumenfold::common {

namespace {

enum class Layout { kIndented, kSpaced, kCompact };

constexpr char kHex[] = "0123456789abcdef";

void append_u_escape(std::string& out, unsigned unit) {
  out += "\\u";
  out += kHex[(unit >> 12) & 0xF];
  out += kHex[(unit >> 8) & 0xF];
  out += kHex[(unit >> 4) & 0xF];
  out += kHex[unit & 0xF];
}

void write_string(std::string& out, std::string_view s, bool ascii_only) {
  out += '"';
  size_t pos = 0;
  while (pos < s.size()) {
    // Copy a run of characters that need no escaping in one go.
    size_t run = pos;
    while (run < s.size()) {
      unsigned char r = static_cast<unsigned char>(s[run]);
      if (r < 0x20 || r >= 0x7F || r == '"' || r == '\\') break;
      ++run;
    }
    if (run > pos) {
      out.append(s.substr(pos, run - pos));
      pos = run;
      if (pos == s.size()) break;
    }
    unsigned char c = static_cast<unsigned char>(s[pos]);
    if (c >= 0x80) {
      if (!ascii_only) {
        size_t start = pos;
        decode_at(s, pos);
        out.append(s.substr(start, pos - start));
        continue;
      }
      char32_t cp = decode_at(s, pos);
      if (cp >= 0x10000) {
        cp -= 0x10000;
        append_u_escape(out, 0xD800 + (cp >> 10));
        append_u_escape(out, 0xDC00 + (cp & 0x3FF));
      } else {
        append_u_escape(out, cp);
      }
      continue;
    }
    ++pos;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || (c == 0x7F && ascii_only)) {
          append_u_escape(out, c);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

template <typename Integer>
void append_integer(std::string& out, Integer value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, end);
}

void newline_and_indent(std::string& out, int depth) {
  out += '\n';
  out.append(static_cast<size_t>(depth) * 2, ' ');
}

void write_value(std::string& out, const Json& v, Layout layout, bool ascii_only, int depth) {
  const char* item_sep = layout == Layout::kSpaced ? ", " : ",";
  const char* key_sep = layout == Layout::kCompact ? ":" : ": ";
  switch (v.type()) {
    case Json::value_t::string:
      write_string(out, v.get_ref<const std::string&>(), ascii_only);
      return;
    case Json::value_t::array: {
      if (v.empty()) {
        out += "[]";
        return;
      }
      out += '[';
      bool first = true;
      for (const auto& item : v) {
        if (!first) out += item_sep;
        first = false;
        if (layout == Layout::kIndented) newline_and_indent(out, depth + 1);
        write_value(out, item, layout, ascii_only, depth + 1);
      }
      if (layout == Layout::kIndented) newline_and_indent(out, depth);
      out += ']';
      return;
    }
    case Json::value_t::object: {
      if (v.empty()) {
        out += "{}";
        return;
      }
      out += '{';
      bool first = true;
      // The members themselves: items() would build a proxy per member.
      for (const auto& [key, item] : v.get_ref<const Json::object_t&>()) {
        if (!first) out += item_sep;
        first = false;
        if (layout == Layout::kIndented) newline_and_indent(out, depth + 1);
        write_string(out, key, ascii_only);
        out += key_sep;
        write_value(out, item, layout, ascii_only, depth + 1);
      }
      if (layout == Layout::kIndented) newline_and_indent(out, depth);
      out += '}';
      return;
    }
    case Json::value_t::number_integer:
      append_integer(out, v.get_ref<const Json::number_integer_t&>());
      return;
    case Json::value_t::number_unsigned:
      append_integer(out, v.get_ref<const Json::number_unsigned_t&>());
      return;
    case Json::value_t::boolean:
      out += v.get_ref<const Json::boolean_t&>() ? "true" : "false";
      return;
    case Json::value_t::null:
      out += "null";
      return;
    default:
      out += v.dump();
      return;
  }
}

std::string write(const Json& doc, Layout layout, bool ascii_only) {
  std::string out;
  write_value(out, doc, layout, ascii_only, 0);
  return out;
}

}  // namespace

std::string dump_indented(const Json& doc) { return write(doc, Layout::kIndented, true); }
void append_indented(std::string& out, const Json& value, int depth) {
  write_value(out, value, Layout::kIndented, true, depth);
}
std::string dump_spaced(const Json& doc) { return write(doc, Layout::kSpaced, true); }
void append_spaced(std::string& out, const Json& value) { write_value(out, value, Layout::kSpaced, true, 0); }
std::string dump_compact(const Json& doc) { return write(doc, Layout::kCompact, true); }
std::string dump_utf8(const Json& doc, bool indent) {
  return write(doc, indent ? Layout::kIndented : Layout::kCompact, false);
}

void append_new_member(Json& obj, std::string key, Json value) {
  if (!obj.is_object()) obj = Json::object();
  auto& members = obj.get_ref<Json::object_t&>();
  // ordered_map is a vector of pairs; its own emplace() would search it.
  members.Container::emplace_back(std::move(key), std::move(value));
}

bool nests_within(std::string_view text, int limit) {
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

bool holds_nul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

std::optional<Json> parse_json(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // nlohmann parses without recursion, but every copy of the result would
  // recurse once per level.
  if (!nests_within(text, kMaxJsonDepth) || holds_nul(text)) return std::nullopt;
  Json doc = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) return std::nullopt;
  return doc;
}

}  // namespace lumenfold::common
