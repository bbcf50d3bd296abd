#include "lumenfold/common/json_document.h"

#include <stdexcept>

#include "lumenfold/common/state_file.h"

namespace lumenfold::common {

namespace fs = std::filesystem;

void save_json_document(const fs::path& file, const Json& doc, StateFileSyncer* syncer) {
  save_json_text(file, dump_indented(doc), syncer);
}

void save_json_text(const fs::path& file, std::string_view text, StateFileSyncer* syncer) {
  std::error_code ec;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  if (ec) throw std::runtime_error("cannot create " + file.parent_path().string() + ": " + ec.message());
  if (std::optional<std::string> error = write_state_file(file, text, syncer)) {
    throw std::runtime_error("cannot write " + file.string() + ": " + *error);
  }
}

}  // namespace lumenfold::common
