#pragma once
// Which files define a name. A query that names a class or function is
// usually about the file that defines it, not the many files that use it.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lumenfold/tsl/source_defs.h"

namespace lumenfold::tsl {

struct DefHit {
  uint32_t doc;
  DefKind kind;
};

class DefIndex {
 public:
  // `defs_per_doc[i]` are the definitions of doc i.
  explicit DefIndex(const std::vector<std::vector<SourceDef>>& defs_per_doc);

  // The files that define `name` (case-sensitive), each once, in doc
  // order, with the strongest kind seen there (class, then function, then
  // assignment). Empty when none does.
  const std::vector<DefHit>& definers(std::string_view name) const;

  // The files that define `member` inside a class named `owner`.
  const std::vector<DefHit>& member_definers(std::string_view owner, std::string_view member) const;

  size_t doc_count() const { return doc_count_; }

 private:
  size_t doc_count_;
  std::unordered_map<std::string, std::vector<DefHit>> by_name_;
  std::unordered_map<std::string, std::vector<DefHit>> by_member_;
};

}  // namespace lumenfold::tsl
