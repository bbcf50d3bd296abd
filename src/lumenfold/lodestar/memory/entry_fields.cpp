#include "lumenfold/lodestar/memory/entry_fields.h"

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"

namespace lumenfold::lodestar {

using common::Json;

std::string field_text(const Json& entry, std::string_view key) {
  if (!entry.is_object()) return "";
  auto it = entry.find(key);
  return it == entry.end() ? std::string() : common::made_text(*it);
}

int64_t field_integer(const Json& entry, std::string_view key) {
  return common::as_integer(common::member_or_null(entry, key)).value_or(0);
}

const Json* first_truthy(const Json& entry, std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys) {
    const Json& v = common::member_or_null(entry, key);
    if (common::is_truthy(v)) return &v;
  }
  return nullptr;
}

}  // namespace lumenfold::lodestar
