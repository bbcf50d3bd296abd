#include "lumenfold/tsl/def_index.h"

namespace lumenfold::tsl {
namespace {

// Lower is stronger: a class definition names a file's purpose more than a
// function does, and a function more than an assignment.
int strength(DefKind kind) {
  switch (kind) {
    case DefKind::kClass:
      return 0;
    case DefKind::kFunction:
      return 1;
    case DefKind::kAssignment:
      return 2;
  }
  return 2;
}

void add_hit(std::vector<DefHit>& hits, uint32_t doc, DefKind kind) {
  if (!hits.empty() && hits.back().doc == doc) {
    if (strength(kind) < strength(hits.back().kind)) hits.back().kind = kind;
    return;
  }
  hits.push_back({doc, kind});
}

std::string member_key(std::string_view owner, std::string_view member) {
  std::string key(owner);
  key += '.';
  key += member;
  return key;
}

const std::vector<DefHit>& lookup(const std::unordered_map<std::string, std::vector<DefHit>>& map,
                                  const std::string& key) {
  static const std::vector<DefHit> kNone;
  auto it = map.find(key);
  return it == map.end() ? kNone : it->second;
}

}  // namespace

DefIndex::DefIndex(const std::vector<std::vector<SourceDef>>& defs_per_doc) : doc_count_(defs_per_doc.size()) {
  for (uint32_t doc = 0; doc < defs_per_doc.size(); ++doc) {
    for (const SourceDef& d : defs_per_doc[doc]) {
      add_hit(by_name_[d.name], doc, d.kind);
      if (!d.owner.empty()) add_hit(by_member_[member_key(d.owner, d.name)], doc, d.kind);
    }
  }
}

const std::vector<DefHit>& DefIndex::definers(std::string_view name) const {
  return lookup(by_name_, std::string(name));
}

const std::vector<DefHit>& DefIndex::member_definers(std::string_view owner, std::string_view member) const {
  return lookup(by_member_, member_key(owner, member));
}

}  // namespace lumenfold::tsl
