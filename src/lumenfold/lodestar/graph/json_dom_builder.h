#pragma once
// Parses JSON text into a document that keeps member order, fast for the
// large documents the server caches: objects with tens of thousands of
// members (the symbol index) and a member that callers never want (each
// graph node's file text).

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// Drops member `member` of every object that is an element of the array
// held by member `root_array` of the top-level object, while parsing.
struct DroppedMember {
  std::string_view root_array;
  std::string_view member;
};

// Parses `text` (a leading UTF-8 byte-order mark is skipped) strictly, as
// nlohmann's own parser would, with one difference in cost: a key repeated
// in one object keeps its first position and takes the last value, found
// through a hash index once an object grows large, so big objects parse in
// linear time. Returns nullopt for text that is not JSON. With `dropped`,
// that member is never stored.
std::optional<common::Json> parse_document(std::string_view text, const DroppedMember* dropped = nullptr);

// Member list of an object under construction; keys must be distinct.
using MemberList = std::vector<std::pair<std::string, common::Json>>;

// The object holding `members` in their order. Its storage is sized once:
// growing an ordered object member by member copies every earlier member
// at each reallocation (the keys are const, so they cannot be moved).
common::Json object_from_members(MemberList members);

}  // namespace lumenfold::lodestar
