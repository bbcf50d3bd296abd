#pragma once
// Finding files from the ways text names them: a path written in a stack
// trace or a message (any absolute or partial form ending in the file id),
// a dotted module name (django.db.models.query, _pytest.python), and the
// import targets of relation edges.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lumenfold::tsl {

struct PathMatch {
  std::vector<uint32_t> docs;  // the files matched, in index order
  size_t components = 0;       // how many trailing components of the text matched
};

class PathIndex {
 public:
  // `file_ids` are indexed by position: doc i is file_ids[i].
  explicit PathIndex(const std::vector<std::string>& file_ids);

  // The files whose ids are the longest trailing run of "/"-separated
  // components of `path` ("\" counts as "/"; a ":line" suffix is ignored),
  // or, when `path` is itself a partial path, the files whose ids end with
  // it. Empty when nothing ends that way.
  PathMatch match_path(std::string_view path) const;

  // The modules named by the longest leading run of components of the
  // dotted name `dotted` that some module's name ends with; `components`
  // says how long that run is. A package is named by its __init__ file.
  PathMatch match_module(std::string_view dotted) const;

  // The file that the import or reference target `target`, written in file
  // `from_doc`, names: relative Python imports (".models", "..utils"),
  // relative script paths ("./api", "../lib/x"), dotted modules and project
  // paths. nullopt when no single file fits.
  std::optional<uint32_t> resolve(uint32_t from_doc, std::string_view target) const;

  // The doc of an exact file id.
  std::optional<uint32_t> find(std::string_view file_id) const;

  // The directory of `doc`'s id ("" at the root).
  std::string_view directory_of(uint32_t doc) const;

 private:
  std::optional<uint32_t> resolve_relative_python(uint32_t from_doc, std::string_view target) const;
  std::optional<uint32_t> resolve_relative_path(uint32_t from_doc, std::string_view target) const;
  std::optional<uint32_t> first_existing(const std::string& base) const;

  std::vector<std::string> ids_;
  std::unordered_map<std::string, uint32_t> by_id_;
  std::unordered_map<std::string, std::vector<uint32_t>> by_suffix_;
  std::unordered_map<std::string, std::vector<uint32_t>> by_module_suffix_;
  // The most components any key above has: a longer run of a query's
  // components can match nothing, so lookups start no further back.
  size_t max_path_components_ = 0;
  size_t max_module_components_ = 0;
};

}  // namespace lumenfold::tsl
