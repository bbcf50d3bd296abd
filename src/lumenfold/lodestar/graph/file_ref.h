#pragma once
// References to project files: "path" or a symbol id "path::name".

#include <string_view>

namespace lumenfold::lodestar {

// The part of a file reference `ref` before the first "::" (the file of a
// symbol id "path::name"), or all of `ref`.
std::string_view file_part(std::string_view ref);
// Whether `value` looks like a path of a file inside the project.
bool is_local_file_ref(std::string_view value);

}  // namespace lumenfold::lodestar
