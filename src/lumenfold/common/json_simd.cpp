#include "lumenfold/common/json_simd.h"

#include <nlohmann/json.hpp>

namespace lumenfold::common {

namespace {

template <typename T>
T scalar(simdjson::dom::element element) {
  T value{};
  // The caller checked the type, so this cannot fail.
  if (element.get(value) != simdjson::SUCCESS) return T{};
  return value;
}

}  // namespace

Json to_json(simdjson::dom::element element) {
  using simdjson::dom::element_type;
  switch (element.type()) {
    case element_type::ARRAY: {
      Json out = Json::array();
      simdjson::dom::array items;
      if (element.get(items) == simdjson::SUCCESS) {
        for (simdjson::dom::element item : items) out.push_back(to_json(item));
      }
      return out;
    }
    case element_type::OBJECT: {
      Json out = Json::object();
      simdjson::dom::object members;
      if (element.get(members) == simdjson::SUCCESS) {
        for (simdjson::dom::key_value_pair member : members) {
          // operator[] keeps the first position of a repeated key and takes
          // the last value, as the other parsers of our documents do.
          out[std::string(member.key)] = to_json(member.value);
        }
      }
      return out;
    }
    case element_type::INT64:
      return scalar<int64_t>(element);
    case element_type::UINT64:
      return scalar<uint64_t>(element);
    case element_type::DOUBLE:
      return scalar<double>(element);
    case element_type::STRING:
      return Json(std::string(scalar<std::string_view>(element)));
    case element_type::BOOL:
      return scalar<bool>(element);
    case element_type::NULL_VALUE:
    default:
      return nullptr;
  }
}

std::optional<simdjson::dom::element> parse_fast(simdjson::dom::parser& parser, std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  simdjson::dom::element root;
  if (parser.parse(text.data(), text.size(), /*realloc_if_needed=*/true).get(root) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  return root;
}

}  // namespace lumenfold::common
