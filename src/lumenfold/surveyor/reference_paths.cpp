#include "lumenfold/surveyor/reference_paths.h"

#include <array>
#include <cstddef>

// Why a hand-written scan: "." is not in the character class, so the class
// run that a match starts with always extends to the end of its maximal run,
// and the dot must be the character right after that run. Every start inside
// one run therefore succeeds or fails together, and the engine's habit of
// retrying at each start re-reads the run each time. Here each run is read
// once: if it is followed by "." and an extension, the match starts at the
// run's first character (or at the resume point inside it); otherwise the
// whole run is skipped.

namespace lumenfold::surveyor {

namespace {

// In the order the alternation tries them: the first that fits wins, even
// when a longer one would fit too ("ts" before "tsx", "js" before "json").
constexpr std::array<std::string_view, 11> kExtensions = {"go",    "py", "ts",   "tsx",  "js", "jsx",
                                                          "swift", "md", "json", "yaml", "yml"};

// The spelled-out class [A-Za-z0-9_\-\/]: ASCII only, so a non-ASCII code
// point (any byte >= 0x80) ends a run.
bool in_path_class(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '/';
}

// Length of the first extension alternative at `pos`, 0 when none fits.
size_t extension_length_at(std::string_view text, size_t pos) {
  std::string_view rest = text.substr(pos);
  for (std::string_view ext : kExtensions) {
    if (rest.starts_with(ext)) return ext.size();
  }
  return 0;
}

}  // namespace

std::vector<std::string_view> find_reference_paths(std::string_view text) {
  std::vector<std::string_view> found;
  size_t pos = 0;
  while (pos < text.size()) {
    if (!in_path_class(text[pos])) {
      ++pos;
      continue;
    }
    size_t run_start = pos;
    size_t run_end = pos;
    while (run_end < text.size() && in_path_class(text[run_end])) ++run_end;
    if (run_end < text.size() && text[run_end] == '.') {
      size_t ext_len = extension_length_at(text, run_end + 1);
      if (ext_len > 0) {
        size_t match_end = run_end + 1 + ext_len;
        found.push_back(text.substr(run_start, match_end - run_start));
        pos = match_end;
        continue;
      }
    }
    pos = run_end;
  }
  return found;
}

}  // namespace lumenfold::surveyor
