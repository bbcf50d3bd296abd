#include "lumenfold/lodestar/mcp/tool_registry.h"

#include <cctype>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

// Agents and their tests compare tool schemas as text, so each schema object
// is built with its keys already in the sorted order pydantic writes
// ("anyOf" < "default" < "items" < "properties" < "required" < "title" <
// "type"), rather than sorted after the fact.

namespace lumenfold::lodestar {

using common::Json;

namespace {

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

Json string_schema() { return Json{{"type", "string"}}; }

Json string_list_schema() { return Json{{"items", string_schema()}, {"type", "array"}}; }

Json scalar_schema(const char* type) { return Json{{"type", type}}; }

// The schemas a value of `type` may match, one per member of its union.
std::vector<Json> type_alternatives(ParamType type) {
  switch (type) {
    case ParamType::kString:
      return {string_schema()};
    case ParamType::kInteger:
      return {scalar_schema("integer")};
    case ParamType::kNumber:
      return {scalar_schema("number")};
    case ParamType::kBoolean:
      return {scalar_schema("boolean")};
    case ParamType::kStringList:
      return {string_list_schema()};
    case ParamType::kStringOrStringList:
      return {string_schema(), string_list_schema()};
  }
  throw std::logic_error("unknown parameter type");
}

Json property_schema(const ToolParam& param) {
  std::vector<Json> alternatives = type_alternatives(param.type);
  if (param.nullable) alternatives.push_back(scalar_schema("null"));
  bool is_union = alternatives.size() > 1;
  const Json& only = alternatives.front();

  Json schema = Json::object();
  if (is_union) schema["anyOf"] = Json(alternatives);
  if (param.default_value) schema["default"] = *param.default_value;
  if (!is_union && only.contains("items")) schema["items"] = only.at("items");
  schema["title"] = param_title(param.name);
  if (!is_union) schema["type"] = only.at("type");
  return schema;
}

}  // namespace

ToolParam required_param(std::string name, ParamType type) {
  return ToolParam{.name = std::move(name), .type = type, .nullable = false, .default_value = std::nullopt};
}

ToolParam defaulted_param(std::string name, ParamType type, Json default_value) {
  return ToolParam{.name = std::move(name), .type = type, .nullable = false, .default_value = std::move(default_value)};
}

ToolParam nullable_param(std::string name, ParamType type) {
  return ToolParam{.name = std::move(name), .type = type, .nullable = true, .default_value = Json(nullptr)};
}

std::string param_title(const std::string& name) {
  // Python's str.title() on ASCII: a letter starts a word unless a letter
  // precedes it; digits and spaces are not letters, so "file2path" gives
  // "File2Path".
  std::string title;
  title.reserve(name.size());
  bool after_letter = false;
  for (char c : name) {
    if (c == '_') c = ' ';
    if (is_ascii_letter(c)) {
      title += static_cast<char>(after_letter ? std::tolower(static_cast<unsigned char>(c))
                                              : std::toupper(static_cast<unsigned char>(c)));
      after_letter = true;
    } else {
      title += c;
      after_letter = false;
    }
  }
  return title;
}

Json input_schema(const ToolSpec& tool_spec) {
  Json properties = Json::object();
  Json required = Json::array();
  for (const ToolParam& param : tool_spec.params) {
    properties[param.name] = property_schema(param);
    if (!param.default_value) required.push_back(param.name);
  }
  Json schema = Json::object();
  schema["properties"] = std::move(properties);
  if (!required.empty()) schema["required"] = std::move(required);
  schema["title"] = tool_spec.name + "Arguments";
  schema["type"] = "object";
  return schema;
}

void ToolRegistry::add(ToolSpec tool_spec) {
  if (find(tool_spec.name) != nullptr) throw std::logic_error("tool registered twice: " + tool_spec.name);
  tools_.push_back(std::move(tool_spec));
}

const ToolSpec* ToolRegistry::find(const std::string& name) const {
  for (const ToolSpec& tool_spec : tools_) {
    if (tool_spec.name == name) return &tool_spec;
  }
  return nullptr;
}

}  // namespace lumenfold::lodestar
