#include "lumenfold/lodestar/graph/file_ref.h"

namespace lumenfold::lodestar {

std::string_view file_part(std::string_view ref) {
  size_t sep = ref.find("::");
  return sep == std::string_view::npos ? ref : ref.substr(0, sep);
}

bool is_local_file_ref(std::string_view value) {
  if (value.empty() || value.front() == '@') return false;
  std::string_view file = file_part(value);
  if (file.find(':') != std::string_view::npos) return false;
  const size_t last_slash = file.rfind('/');
  if (last_slash == std::string_view::npos) return false;
  return file.substr(last_slash + 1).find('.') != std::string_view::npos;
}

}  // namespace lumenfold::lodestar
