#include "lumenfold/lodestar/mcp/tool_arguments.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"

// The leniency follows what agents already rely on with the reference
// Python SDK: it parses JSON held in text for every parameter that is not
// plain text (models often send a list as "[\"a\", \"b\"]"), then applies
// pydantic's lax conversions. Anything else is refused with the parameter's
// name, so the agent can correct its call.

namespace lumenfold::lodestar {

using common::Json;

namespace {

// The texts pydantic reads as booleans, lower-cased.
constexpr std::array<std::string_view, 6> kTrueTexts = {"true", "1", "yes", "on", "t", "y"};
constexpr std::array<std::string_view, 6> kFalseTexts = {"false", "0", "no", "off", "f", "n"};

const char* kind_name(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return "boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      return "integer";
    case Json::value_t::number_float:
      return "number";
    case Json::value_t::string:
      return "string";
    case Json::value_t::array:
      return "array";
    default:
      return "object";
  }
}

std::string expected_phrase(const ToolParam& param) {
  std::string phrase;
  switch (param.type) {
    case ParamType::kString:
      phrase = "a string";
      break;
    case ParamType::kInteger:
      phrase = "an integer";
      break;
    case ParamType::kNumber:
      phrase = "a number";
      break;
    case ParamType::kBoolean:
      phrase = "a boolean";
      break;
    case ParamType::kStringList:
      phrase = "a list of strings";
      break;
    case ParamType::kStringOrStringList:
      phrase = "a string or a list of strings";
      break;
  }
  if (param.nullable) phrase += " or null";
  return phrase;
}

bool is_string_list(const Json& v) {
  if (!v.is_array()) return false;
  for (const Json& item : v) {
    if (!item.is_string()) return false;
  }
  return true;
}

std::optional<Json> to_integer(const Json& v) {
  if (v.is_number_integer() || v.is_number_unsigned()) return v;
  if (v.is_boolean()) return Json(v.get<bool>() ? 1 : 0);
  if (v.is_number_float()) {
    double d = v.get<double>();
    // A fraction would be silently lost; pydantic refuses it too.
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (!std::isfinite(d) || std::trunc(d) != d || d < -kLimit || d >= kLimit) return std::nullopt;
    return Json(static_cast<int64_t>(d));
  }
  if (v.is_string()) {
    std::optional<int64_t> parsed = common::parse_integer(v.get_ref<const std::string&>());
    if (parsed) return Json(*parsed);
  }
  return std::nullopt;
}

std::optional<Json> to_number(const Json& v) {
  if (v.is_number()) return Json(v.get<double>());
  if (v.is_boolean()) return Json(v.get<bool>() ? 1.0 : 0.0);
  if (v.is_string()) {
    std::string_view text = common::trim(v.get_ref<const std::string&>());
    double d = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size()) return Json(d);
  }
  return std::nullopt;
}

std::optional<Json> to_boolean(const Json& v) {
  if (v.is_boolean()) return v;
  if (v.is_number()) {
    double d = v.get<double>();
    if (d == 0 || d == 1) return Json(d == 1);
    return std::nullopt;
  }
  if (v.is_string()) {
    std::string text = common::to_lower(common::trim(v.get_ref<const std::string&>()));
    for (std::string_view t : kTrueTexts) {
      if (text == t) return Json(true);
    }
    for (std::string_view f : kFalseTexts) {
      if (text == f) return Json(false);
    }
  }
  return std::nullopt;
}

std::optional<Json> convert(ParamType type, const Json& v) {
  switch (type) {
    case ParamType::kString:
      if (v.is_string()) return v;
      return std::nullopt;
    case ParamType::kInteger:
      return to_integer(v);
    case ParamType::kNumber:
      return to_number(v);
    case ParamType::kBoolean:
      return to_boolean(v);
    case ParamType::kStringList:
      if (is_string_list(v)) return v;
      return std::nullopt;
    case ParamType::kStringOrStringList:
      if (v.is_string() || is_string_list(v)) return v;
      return std::nullopt;
  }
  return std::nullopt;
}

// Text holding a JSON array, object or null stands for that value, except
// for a plain text parameter, which keeps its text. Numbers and booleans in
// text are left to the lax conversions.
Json unwrap_json_text(const ToolParam& param, const Json& v) {
  bool plain_text = param.type == ParamType::kString && !param.nullable;
  if (plain_text || !v.is_string()) return v;
  std::optional<Json> parsed = common::parse_json(v.get_ref<const std::string&>());
  if (parsed && (parsed->is_array() || parsed->is_object() || parsed->is_null())) return *parsed;
  return v;
}

common::Result<Json> bind_one(const ToolParam& param, const Json& given) {
  Json v = unwrap_json_text(param, given);
  if (v.is_null() && param.nullable) return v;
  if (!v.is_null()) {
    std::optional<Json> converted = convert(param.type, v);
    if (converted) return std::move(*converted);
  }
  return common::Error{"argument '" + param.name + "' must be " + expected_phrase(param) + ", got " + kind_name(given)};
}

const Json* find_argument(const Json& arguments, const std::string& name) {
  if (!arguments.is_object()) return nullptr;
  auto it = arguments.find(name);
  return it == arguments.end() ? nullptr : &*it;
}

}  // namespace

common::Result<Json> bind_arguments(std::span<const ToolParam> params, const Json& arguments) {
  if (!arguments.is_null() && !arguments.is_object()) {
    return common::Error{std::string("arguments must be an object, got ") + kind_name(arguments)};
  }
  Json bound = Json::object();
  for (const ToolParam& param : params) {
    const Json* given = find_argument(arguments, param.name);
    if (given == nullptr) {
      if (!param.default_value) return common::Error{"missing required argument '" + param.name + "'"};
      common::append_new_member(bound, param.name, *param.default_value);
      continue;
    }
    common::Result<Json> value = bind_one(param, *given);
    if (!value) return common::Error{value.error()};
    common::append_new_member(bound, param.name, std::move(*value));
  }
  return bound;
}

}  // namespace lumenfold::lodestar
