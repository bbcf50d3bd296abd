#pragma once
// Project paths mentioned in free text: a run of letters, digits, "_", "-"
// and "/" followed by "." and one of the scannable source or text
// extensions.

#include <string_view>
#include <vector>

namespace lumenfold::surveyor {

// Every match, left to right, of the pattern
//   ([A-Za-z0-9_\-\/]+\.(go|py|ts|tsx|js|jsx|swift|md|json|yaml|yml))
// exactly as a backtracking engine finds them: the leftmost start, the
// longest run of the character class, then the first extension alternative
// that follows the dot (so "cfg/a.json" gives "cfg/a.js" and "ui/b.tsx"
// gives "ui/b.ts"); the next search starts where a match ended. Runs in time
// linear in `text`, where the plain pattern is quadratic on a long run
// without an extension. The views point into `text`.
std::vector<std::string_view> find_reference_paths(std::string_view text);

}  // namespace lumenfold::surveyor
