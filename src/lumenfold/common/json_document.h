#pragma once
// Saving a whole JSON state document: the one way every state file of the
// data directory is written.

#include <filesystem>
#include <string_view>

#include "lumenfold/common/json.h"

namespace lumenfold::common {

class StateFileSyncer;

// Creates the file's directory when missing and writes `doc` indented by
// two spaces, ASCII only, replacing the file atomically (a crash leaves the
// old or the new document; see state_file.h for the spare file kept beside
// it and when the new version reaches the disk: `syncer` syncs it in the
// background, or - when null - it is synced before the call returns).
// Throws std::runtime_error naming the file when the directory or the file
// cannot be written.
void save_json_document(const std::filesystem::path& file, const Json& doc, StateFileSyncer* syncer);

// The same for a document already laid out as text.
void save_json_text(const std::filesystem::path& file, std::string_view text, StateFileSyncer* syncer);

}  // namespace lumenfold::common
