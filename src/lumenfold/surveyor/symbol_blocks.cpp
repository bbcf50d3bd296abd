// Where a symbol's body ends, guessed from the text alone: brace counting
// for the C-like languages, indentation for Python. Both are heuristics that
// must always return an index inside the file and never look far.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/hash.h"
#include "lumenfold/common/regex.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/symbols.h"

namespace lumenfold::surveyor {
namespace {

// A body longer than this is not followed to its end: the scan per symbol
// stays bounded however the braces are (un)balanced.
constexpr size_t kBraceScanLines = 400;
// When no closing brace is found, the symbol is taken to span this many
// lines after its start, enough for most functions without swallowing files.
constexpr size_t kUnclosedBlockLines = 100;

// Occurrences of `brace` that are not escaped by a backslash ("\{" is a
// literal brace in a regular expression or string, not a block).
int64_t count_braces(std::string_view line, char brace) {
  const char escaped[] = {'\\', brace};
  const std::string_view escaped_view(escaped, 2);
  int64_t plain = std::count(line.begin(), line.end(), brace);
  int64_t escaped_count = 0;
  for (size_t at = line.find(escaped_view); at != std::string_view::npos;
       at = line.find(escaped_view, at + escaped_view.size())) {
    ++escaped_count;
  }
  return plain - escaped_count;
}

// Number of leading white-space code points.
size_t leading_space(std::string_view line) {
  std::string_view rest = common::trim_left(line);
  return common::code_point_count(line.substr(0, line.size() - rest.size()));
}

// A line that opens the next definition at the outer level: a def (maybe
// async) after optional indentation, or "class" or a decorator in column 0.
// The alternation is deliberately unparenthesised: the leading "\s*" belongs
// to the def branch only.
const common::Regex& py_definition_start() {
  // Compiled once, on first use, and never changed afterwards.
  static const common::Regex kPattern(R"re(\s*(?:async\s+)?def\s+|class\s+|@)re");
  return kPattern;
}

}  // namespace

size_t find_block_end_ts(const std::vector<std::string_view>& lines, size_t start) {
  if (lines.empty()) return start;
  const size_t limit = std::min(lines.size(), start + kBraceScanLines);
  int64_t depth = 0;
  bool opened = false;
  for (size_t i = start; i < limit; ++i) {
    const int64_t opens = count_braces(lines[i], '{');
    const int64_t closes = count_braces(lines[i], '}');
    depth += opens - closes;
    if (opens > 0) opened = true;
    // Closing braces before the first opening one count too, so a line like
    // "} else {" can end a block on the line that opens it.
    if (opened && depth <= 0) return i;
  }
  return std::min(lines.size() - 1, start + kUnclosedBlockLines);
}

size_t find_block_end_py(const std::vector<std::string_view>& lines, size_t start) {
  if (start + 1 >= lines.size()) return start;
  const size_t base = leading_space(lines[start]);
  size_t end = start;
  for (size_t i = start + 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    // Blank lines never extend the range, so trailing ones are left out.
    if (common::trim(line).empty()) continue;
    // Module-level statements that are not definitions stay in the range:
    // only the next definition at this level or outside it ends the block.
    if (leading_space(line) <= base && py_definition_start().match_at_start(line)) break;
    end = i;
  }
  return end;
}

std::string body_hash(const std::vector<std::string_view>& lines, size_t start, size_t end) {
  std::string joined;
  const size_t last = lines.empty() ? 0 : std::min(end, lines.size() - 1);
  for (size_t i = start; !lines.empty() && i <= last; ++i) {
    if (i > start) joined += '\n';
    joined += lines[i];
  }
  return common::short_hash(joined);
}

}  // namespace lumenfold::surveyor
