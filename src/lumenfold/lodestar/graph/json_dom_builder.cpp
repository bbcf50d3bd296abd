#include "lumenfold/lodestar/graph/json_dom_builder.h"

// nlohmann's ordered object finds members by a linear search, so its own
// parser needs quadratic time for an object of n members: a symbol index of
// 50 000 entries would take seconds. Its storage is a vector of pairs with
// const keys, so every reallocation deep-copies the members built so far.
// This builder receives the parser's SAX events, collects each object's
// members in a movable list (with a hash index from key to position once
// the object grows past a few members) and moves them into the object,
// sized once, when the object closes. Dropped members are skipped as events
// arrive, so their values are never stored.

#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;
using Members = Json::object_t::Container;

// Up to this many members a linear search is cheaper than hashing.
constexpr size_t kLinearSearchMembers = 16;

// Moves the members out and leaves `members` empty with its capacity.
Json object_from_members_keeping_list(MemberList& members) {
  Json object = Json::object();
  Members& storage = object.get_ref<Json::object_t&>();
  storage.reserve(members.size());
  for (auto& [key, value] : members) storage.emplace_back(std::move(key), std::move(value));
  members.clear();
  return object;
}

class DomBuilder {
 public:
  using number_integer_t = Json::number_integer_t;
  using number_unsigned_t = Json::number_unsigned_t;
  using number_float_t = Json::number_float_t;
  using string_t = Json::string_t;
  using binary_t = Json::binary_t;

  explicit DomBuilder(const DroppedMember* dropped) : dropped_(dropped) {}

  bool null() { return put(Json(nullptr)); }
  bool boolean(bool v) { return put(Json(v)); }
  bool number_integer(number_integer_t v) { return put(Json(v)); }
  bool number_unsigned(number_unsigned_t v) { return put(Json(v)); }
  bool number_float(number_float_t v, const string_t&) { return put(Json(v)); }
  // Copied, not moved: the lexer keeps its buffer's capacity for the next
  // token instead of growing a fresh one each time.
  bool string(string_t& v) { return put(Json(v)); }
  bool binary(binary_t&) { return false; }  // never produced by JSON text

  bool start_object(std::size_t) { return open(Json::object()); }
  bool start_array(std::size_t) { return open(Json::array()); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(string_t& k) {
    if (skip_depth_ > 0) return true;
    skip_next_value_ = is_dropped(k);
    pending_key_ = k;
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

  Json take() { return std::move(root_); }

 private:
  struct Frame {
    Json* container;
    MemberList members;  // of an object, until it closes
    // Key -> position, built once an object passes kLinearSearchMembers.
    std::unique_ptr<std::unordered_map<std::string, size_t>> index;
    bool is_root_array_of_interest = false;
    bool is_element_of_interest = false;
  };

  bool is_dropped(const std::string& k) const {
    return dropped_ != nullptr && !stack_.empty() && stack_.back().is_element_of_interest && k == dropped_->member;
  }

  // A value that is dropped, or lies inside a dropped value, is consumed
  // here. Returns true when the event must be ignored.
  bool consume_skipped(bool opens, bool closes) {
    if (skip_depth_ > 0) {
      if (opens) ++skip_depth_;
      if (closes) --skip_depth_;
      return true;
    }
    if (skip_next_value_) {
      skip_next_value_ = false;
      if (opens) skip_depth_ = 1;
      return true;
    }
    return false;
  }

  bool put(Json&& v) {
    if (consume_skipped(false, false)) return true;
    insert(std::move(v));
    return true;
  }

  bool open(Json&& v) {
    if (consume_skipped(true, false)) return true;
    // Refused like any parse of ours: every copy of the result would
    // recurse once per level.
    if (stack_.size() >= static_cast<size_t>(common::kMaxJsonDepth)) return false;
    const bool parent_is_root_object = stack_.size() == 1 && stack_.back().container->is_object();
    const bool parent_is_interesting = !stack_.empty() && stack_.back().is_root_array_of_interest;
    const bool nodes_array =
        dropped_ != nullptr && parent_is_root_object && v.is_array() && pending_key_ == dropped_->root_array;
    Frame frame{insert(std::move(v)), take_spare_list(), nullptr};
    frame.is_root_array_of_interest = nodes_array;
    frame.is_element_of_interest = parent_is_interesting && frame.container->is_object();
    stack_.push_back(std::move(frame));
    return true;
  }

  bool close() {
    if (consume_skipped(false, true)) return true;
    Frame& top = stack_.back();
    if (top.container->is_object()) {
      *top.container = object_from_members_keeping_list(top.members);
      spare_lists_.push_back(std::move(top.members));
    }
    stack_.pop_back();
    return true;
  }

  // Member lists are reused from closed objects, so the thousands of small
  // objects of a graph do not each grow a list of their own.
  MemberList take_spare_list() {
    if (spare_lists_.empty()) return MemberList();
    MemberList list = std::move(spare_lists_.back());
    spare_lists_.pop_back();
    return list;
  }

  // Adds `v` to the innermost open container (or makes it the document)
  // and returns where it now lives. The pointer stays valid until the
  // next value is added to the same container, which happens only after
  // the caller's container has been closed.
  Json* insert(Json&& v) {
    if (stack_.empty()) {
      root_ = std::move(v);
      return &root_;
    }
    Frame& top = stack_.back();
    if (top.container->is_array()) {
      Json::array_t& items = top.container->get_ref<Json::array_t&>();
      items.push_back(std::move(v));
      return &items.back();
    }
    return insert_member(top, std::move(v));
  }

  Json* insert_member(Frame& top, Json&& v) {
    MemberList& members = top.members;
    if (std::optional<size_t> at = find_member(top)) {
      // A repeated key keeps its first position and takes the last value.
      members[*at].second = std::move(v);
      return &members[*at].second;
    }
    if (top.index) top.index->emplace(pending_key_, members.size());
    members.emplace_back(std::move(pending_key_), std::move(v));
    if (!top.index && members.size() > kLinearSearchMembers) build_index(top);
    return &members.back().second;
  }

  std::optional<size_t> find_member(const Frame& top) const {
    if (top.index) {
      auto it = top.index->find(pending_key_);
      if (it == top.index->end()) return std::nullopt;
      return it->second;
    }
    for (size_t i = 0; i < top.members.size(); ++i) {
      if (top.members[i].first == pending_key_) return i;
    }
    return std::nullopt;
  }

  static void build_index(Frame& top) {
    top.index = std::make_unique<std::unordered_map<std::string, size_t>>();
    top.index->reserve(top.members.size() * 2);
    for (size_t i = 0; i < top.members.size(); ++i) top.index->emplace(top.members[i].first, i);
  }

  const DroppedMember* dropped_;
  Json root_;
  std::vector<Frame> stack_;
  std::vector<MemberList> spare_lists_;
  std::string pending_key_;
  bool skip_next_value_ = false;
  int64_t skip_depth_ = 0;
};

}  // namespace

std::optional<Json> parse_document(std::string_view text, const DroppedMember* dropped) {
  if (common::holds_nul(text)) return std::nullopt;
  DomBuilder builder(dropped);
  if (!Json::sax_parse(text.begin(), text.end(), &builder)) return std::nullopt;
  return builder.take();
}

Json object_from_members(MemberList members) { return object_from_members_keeping_list(members); }

}  // namespace lumenfold::lodestar
