#include "lumenfold/common/dynamic.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "lumenfold/common/utf8.h"

namespace lumenfold::common {

bool is_truthy(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null:
    case Json::value_t::discarded:
      return false;
    case Json::value_t::boolean:
      return v.get<bool>();
    case Json::value_t::number_integer:
      return v.get<int64_t>() != 0;
    case Json::value_t::number_unsigned:
      return v.get<uint64_t>() != 0;
    case Json::value_t::number_float:
      return v.get<double>() != 0.0;  // NaN is true
    case Json::value_t::string:
      return !v.get_ref<const std::string&>().empty();
    default:
      return !v.empty();
  }
}

std::optional<int64_t> parse_integer(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Magnitudes up to 2^63 so that the most negative value parses.
  constexpr uint64_t kLimit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
  uint64_t value = 0;
  bool last_was_digit = false;
  for (char c : text) {
    if (c == '_') {
      // A separator only between two digits.
      if (!last_was_digit) return std::nullopt;
      last_was_digit = false;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (kLimit - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
    last_was_digit = true;
  }
  if (!last_was_digit) return std::nullopt;
  if (negative) return value == kLimit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
  if (value == kLimit) return std::nullopt;
  return static_cast<int64_t>(value);
}

std::optional<int64_t> as_integer(const Json& v) {
  switch (v.type()) {
    case Json::value_t::boolean:
      return v.get<bool>() ? 1 : 0;
    case Json::value_t::number_integer:
      return v.get<int64_t>();
    case Json::value_t::number_unsigned: {
      uint64_t u = v.get<uint64_t>();
      if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
      return static_cast<int64_t>(u);
    }
    case Json::value_t::number_float: {
      double d = std::trunc(v.get<double>());
      // 2^63 is exactly representable; anything at or past it does not fit.
      if (!std::isfinite(d) || d >= 9223372036854775808.0 || d < -9223372036854775808.0) return std::nullopt;
      return static_cast<int64_t>(d);
    }
    case Json::value_t::string:
      return parse_integer(v.get_ref<const std::string&>());
    default:
      return std::nullopt;
  }
}

namespace {

void append_quoted(std::string& out, std::string_view s) {
  // Single quotes unless the text holds one and no double quote.
  char quote = (s.find('\'') != std::string_view::npos && s.find('"') == std::string_view::npos) ? '"' : '\'';
  out += quote;
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (ch == quote || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (ch == '\n') {
      out += "\\n";
    } else if (ch == '\r') {
      out += "\\r";
    } else if (ch == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  out += quote;
}

void append_repr(std::string& out, const Json& v) {
  if (v.is_string()) {
    append_quoted(out, v.get_ref<const std::string&>());
    return;
  }
  if (v.is_array()) {
    out += '[';
    bool first = true;
    for (const auto& item : v) {
      if (!first) out += ", ";
      first = false;
      append_repr(out, item);
    }
    out += ']';
    return;
  }
  if (v.is_object()) {
    out += '{';
    bool first = true;
    for (const auto& [key, item] : v.items()) {
      if (!first) out += ", ";
      first = false;
      append_quoted(out, key);
      out += ": ";
      append_repr(out, item);
    }
    out += '}';
    return;
  }
  out += made_text(v);
}

}  // namespace

std::string made_text(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null:
    case Json::value_t::discarded:
      return "None";
    case Json::value_t::boolean:
      return v.get<bool>() ? "True" : "False";
    case Json::value_t::string:
      return v.get<std::string>();
    case Json::value_t::number_float: {
      double d = v.get<double>();
      if (std::isnan(d)) return "nan";
      if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
      return v.dump();
    }
    case Json::value_t::array:
    case Json::value_t::object: {
      std::string out;
      append_repr(out, v);
      return out;
    }
    default:
      return v.dump();
  }
}

std::string truthy_text(const Json& v) { return is_truthy(v) ? made_text(v) : std::string(); }

const Json& member_or_null(const Json& obj, std::string_view key) {
  static const Json kNull;  // immutable, shared by every miss
  if (!obj.is_object()) return kNull;
  auto it = obj.find(key);
  return it == obj.end() ? kNull : *it;
}

std::string_view text_view(const Json& obj, std::string_view key) {
  const Json& v = member_or_null(obj, key);
  return v.is_string() ? std::string_view(v.get_ref<const std::string&>()) : std::string_view();
}

std::string get_text(const Json& obj, std::string_view key, std::string_view fallback) {
  const Json& v = member_or_null(obj, key);
  return v.is_string() ? v.get<std::string>() : std::string(fallback);
}

}  // namespace lumenfold::common
