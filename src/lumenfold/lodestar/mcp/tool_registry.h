#pragma once
// The table of MCP tools: each tool is a name, a description, its declared
// parameters and a plain function from checked JSON arguments to one JSON
// object. The input schema sent to clients is derived from the parameters,
// shaped exactly as the reference Python SDK (FastMCP + pydantic) shapes it,
// so agents see the same schema whichever server they talk to.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>  // holds Json values, not only references

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// The parameter types our tools use, named after their Python annotations.
enum class ParamType {
  kString,              // str
  kInteger,             // int
  kNumber,              // float
  kBoolean,             // bool
  kStringList,          // list[str]
  kStringOrStringList,  // str | list[str]
};

struct ToolParam {
  std::string name;
  ParamType type = ParamType::kString;
  bool nullable = false;  // "X | None": null is accepted as a value
  // Absent: the argument is required. Present: the value used when the
  // caller leaves the argument out (null for "= None").
  std::optional<common::Json> default_value;
};

// `name: type` with no default: the caller must pass it.
ToolParam required_param(std::string name, ParamType type);
// `name: type = default_value`.
ToolParam defaulted_param(std::string name, ParamType type, common::Json default_value);
// `name: type | None = None`.
ToolParam nullable_param(std::string name, ParamType type);

// Receives the arguments after checking: an object holding every declared
// parameter in declaration order, defaults filled in and values converted
// to the declared type. Returns the tool's result object. May throw; the
// MCP dispatcher turns an exception into a failed tool call.
using ToolHandler = std::function<common::Json(const common::Json& arguments)>;

struct ToolSpec {
  std::string name;
  std::string description;
  std::vector<ToolParam> params;
  ToolHandler handler;
};

// The input schema of `tool_spec`: {"properties": {...}, "required": [...],
// "title": "<name>Arguments", "type": "object"}. Keys are sorted inside each
// schema object, properties keep declaration order, "required" is left out
// when no parameter is required, and each property's title is its name with
// "_" as a space in title case ("top_files" -> "Top Files").
common::Json input_schema(const ToolSpec& tool_spec);

// The title pydantic gives a parameter: "_" becomes a space, then every
// letter that follows a non-letter is upper-cased and every other letter
// lower-cased ("maxResults" -> "Maxresults", "file2path" -> "File2Path").
std::string param_title(const std::string& name);

// The tools of one server, in registration order (the order tools/list
// shows them).
class ToolRegistry {
 public:
  // REQUIRES: no tool named `tool_spec.name` is registered yet.
  void add(ToolSpec tool_spec);
  // nullptr when no tool has that name.
  const ToolSpec* find(const std::string& name) const;
  const std::vector<ToolSpec>& tools() const { return tools_; }

 private:
  std::vector<ToolSpec> tools_;
};

}  // namespace lumenfold::lodestar
