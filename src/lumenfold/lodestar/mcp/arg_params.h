#pragma once
// A tool's parameters, declared once beside its argument struct: each
// declaration is a ToolParam (name, type, default) bound to the struct
// member that receives the argument. The registry takes the ToolParams for
// the schema and the checking (tool_arguments.h); fill_args then turns the
// checked arguments into the struct, so no tool reads raw JSON.
//
//   struct NeighborsArgs { std::string file; int64_t limit; };
//   inline const ArgParams<NeighborsArgs> kNeighborsParams = {
//       required_arg<ParamType::kString>("file", &NeighborsArgs::file),
//       defaulted_arg<ParamType::kInteger>("limit", &NeighborsArgs::limit, 30),
//   };
//
// The declared type must suit the member, which the compiler checks:
//   kString -> std::string          kInteger -> int64_t
//   kNumber -> double               kBoolean -> bool
//   kStringList, kStringOrStringList -> std::vector<std::string>
// A list member takes a text as a one-element list and null as the empty
// list, so only list parameters may be nullable. A default has the
// member's type, so it is never null.

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>  // reads the checked values

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/tool_registry.h"

namespace lumenfold::lodestar {

// Declare with required_arg, defaulted_arg or nullable_arg below. The
// struct's members carry no defaults of their own: the declaration's
// default is the only one.
template <typename Args>
struct ArgParam {
  ToolParam param;  // what agents see and what the arguments are checked against
  std::variant<std::string Args::*, int64_t Args::*, double Args::*, bool Args::*, std::vector<std::string> Args::*>
      member;  // where fill_args puts the checked value
};

template <typename Args>
using ArgParams = std::vector<ArgParam<Args>>;

namespace arg_params_detail {

template <typename Member>
constexpr bool suits(ParamType type) {
  if constexpr (std::is_same_v<Member, std::string>) return type == ParamType::kString;
  if constexpr (std::is_same_v<Member, int64_t>) return type == ParamType::kInteger;
  if constexpr (std::is_same_v<Member, double>) return type == ParamType::kNumber;
  if constexpr (std::is_same_v<Member, bool>) return type == ParamType::kBoolean;
  if constexpr (std::is_same_v<Member, std::vector<std::string>>) {
    return type == ParamType::kStringList || type == ParamType::kStringOrStringList;
  }
  return false;
}

template <typename Member>
constexpr bool takes_null = std::is_same_v<Member, std::vector<std::string>>;

inline void read_checked(std::string& out, const common::Json& v) { out = v.get<std::string>(); }
inline void read_checked(int64_t& out, const common::Json& v) { out = v.get<int64_t>(); }
inline void read_checked(double& out, const common::Json& v) { out = v.get<double>(); }
inline void read_checked(bool& out, const common::Json& v) { out = v.get<bool>(); }
inline void read_checked(std::vector<std::string>& out, const common::Json& v) {
  if (v.is_null()) {
    out.clear();
  } else if (v.is_string()) {
    out = {v.get<std::string>()};
  } else {
    out = v.get<std::vector<std::string>>();
  }
}

}  // namespace arg_params_detail

// `name: type` with no default: the caller must pass it.
template <ParamType kType, typename Args, typename Member>
ArgParam<Args> required_arg(std::string name, Member Args::*member) {
  static_assert(arg_params_detail::suits<Member>(kType), "the member cannot hold this parameter type");
  return {required_param(std::move(name), kType), member};
}

// `name: type = default_value`; the default has the member's own type.
template <ParamType kType, typename Args, typename Member>
ArgParam<Args> defaulted_arg(std::string name, Member Args::*member, std::type_identity_t<Member> default_value) {
  static_assert(arg_params_detail::suits<Member>(kType), "the member cannot hold this parameter type");
  return {defaulted_param(std::move(name), kType, common::Json(std::move(default_value))), member};
}

// `name: type | None = None`; null reaches the member as the empty list.
template <ParamType kType, typename Args, typename Member>
ArgParam<Args> nullable_arg(std::string name, Member Args::*member) {
  static_assert(arg_params_detail::suits<Member>(kType), "the member cannot hold this parameter type");
  static_assert(arg_params_detail::takes_null<Member>, "only a list member can tell null apart (as empty)");
  return {nullable_param(std::move(name), kType), member};
}

// The ToolParams of `params`, in declaration order, for a ToolSpec.
template <typename Args>
std::vector<ToolParam> tool_params(const ArgParams<Args>& params) {
  std::vector<ToolParam> out;
  out.reserve(params.size());
  for (const ArgParam<Args>& p : params) out.push_back(p.param);
  return out;
}

// The struct that `checked` describes. REQUIRES: `checked` is what
// bind_arguments returned for tool_params(params): every parameter present
// with a value of its declared type. Throws nlohmann::json's errors when it
// is not (a bug, which the MCP dispatcher reports as a failed call).
template <typename Args>
Args fill_args(const ArgParams<Args>& params, const common::Json& checked) {
  Args args{};
  for (const ArgParam<Args>& p : params) {
    const common::Json& value = checked.at(p.param.name);
    std::visit([&](auto member) { arg_params_detail::read_checked(args.*member, value); }, p.member);
  }
  return args;
}

}  // namespace lumenfold::lodestar
