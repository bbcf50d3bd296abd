#include "lumenfold/lodestar/actions/slim_payload.h"

#include <array>
#include <string>

#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {

namespace {

// The members worth keeping in the rolling action log: enough to tell what a
// call was about, small enough that 300 actions stay a small file. The order
// here is the order in the stored payload, whatever the caller's order.
constexpr std::array<std::string_view, 6> kKeptMembers = {"file",    "query",          "mode",
                                                          "pattern", "response_chars", "overlap"};

}  // namespace

common::Json slim_payload(std::string_view kind, const common::Json& payload) {
  common::Json slim = common::Json::object();
  slim["kind"] = std::string(kind);
  if (!payload.is_object()) return slim;
  for (std::string_view member : kKeptMembers) {
    auto it = payload.find(member);
    if (it != payload.end()) slim[std::string(member)] = *it;
  }
  return slim;
}

}  // namespace lumenfold::lodestar
