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

void append_indented(std::string& out, simdjson::dom::element element, int depth) {
  simdjson::dom::array items;
  if (element.get(items) != simdjson::SUCCESS || items.size() == 0) {
    append_indented(out, to_json(element), depth);
    return;
  }
  out += '[';
  bool first = true;
  for (simdjson::dom::element item : items) {
    if (!first) out += ',';
    first = false;
    out += '\n';
    out.append(static_cast<size_t>(depth + 1) * 2, ' ');
    append_indented(out, item, depth + 1);
  }
  out += '\n';
  out.append(static_cast<size_t>(depth) * 2, ' ');
  out += ']';
}

namespace {

// simdjson refuses deeper documents itself; to_json recurses once per
// level. A larger capacity is kept, a smaller one grows at parse time.
bool limit_depth(simdjson::dom::parser& parser) {
  return parser.max_depth() == static_cast<size_t>(kMaxJsonDepth) ||
         parser.allocate(parser.capacity(), kMaxJsonDepth) == simdjson::SUCCESS;
}

std::optional<simdjson::dom::element> root_of(simdjson::simdjson_result<simdjson::dom::element> parsed) {
  simdjson::dom::element root;
  if (parsed.get(root) != simdjson::SUCCESS) return std::nullopt;
  return root;
}

}  // namespace

std::optional<simdjson::dom::element> parse_fast(simdjson::dom::parser& parser, std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (!limit_depth(parser)) return std::nullopt;
  return root_of(parser.parse(text.data(), text.size(), /*realloc_if_needed=*/true));
}

std::optional<simdjson::dom::element> parse_fast_in_place(simdjson::dom::parser& parser, const std::string& text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") return parse_fast(parser, std::string_view(text));
  if (!limit_depth(parser)) return std::nullopt;
  // simdjson copies the text unless the string has room for its read-ahead.
  return root_of(parser.parse(text));
}

Json parse_fast_to_json(std::string_view text) {
  simdjson::dom::parser parser;
  std::optional<simdjson::dom::element> doc = parse_fast(parser, text);
  return doc ? to_json(*doc) : Json::object();
}

}  // namespace lumenfold::common
