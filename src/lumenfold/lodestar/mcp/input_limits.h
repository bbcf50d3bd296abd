#pragma once
// The bounds on what one call stores and works on, beside the query's own
// (query_limit.h). A tool that stores an argument, or does work per item of
// a list, cuts that argument here, at its edge, before its body, its log
// line or any state file sees it: a call of 4 MB of arguments then costs
// what a call at these limits costs, and whatever it stores stays small,
// so later calls that rewrite the state files do not grow slower.
//
// An argument within its limit passes unchanged, and so does the answer.
// Each cut adds one member at the end of the tool's answer, in the order
// the arguments were cut:
//   "<name>_truncated_to": N        text cut to its first N code points,
//                                   or a list to its first N items;
//   "<name>_each_truncated_to": N   items of a list cut to N code points;
//   "<name>_dropped_too_long": K    K names of a file list dropped because
//                                   no path is that long.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lumenfold/common/json.h"
#include "lumenfold/lodestar/mcp/query_limit.h"

namespace lumenfold::lodestar {

// Free text that is kept (an edit's summary, a memory's content, a read's
// anchor): the same bound as a query, for the same reason, far beyond any
// note an agent writes; a memory is meant to be a sentence.
inline constexpr size_t kMaxStoredTextChars = kMaxQueryChars;
// A memory's type and each of its tags name a kind or a topic in a word or
// a few; tags are matched against the words of later queries.
inline constexpr size_t kMaxLabelChars = 100;
// A memory keeps ten tags once merged with another (memory_merge.cpp); a
// new one may hold more, but not a list that outweighs its content.
inline constexpr size_t kMaxTags = 32;
// PATH_MAX on Linux: the system refuses any longer path, so a longer name
// (with or without "::symbol") is no file of any project.
inline constexpr size_t kMaxPathBytes = 4096;
// Every listed file becomes a node, an edge, a file record and a memory of
// its own, and the whole list is kept with the decision and its memory:
// more files than this in one call is a sweep the agent should split.
inline constexpr size_t kMaxListedFiles = 100;
// ... and those copies stay small even when every name is near
// kMaxPathBytes: a list keeps its names while they hold at most this many
// bytes in all. 100 ordinary paths of 80 bytes take half of it.
inline constexpr size_t kMaxListedFileBytes = 16 * 1024;

// Whether `name` is short enough to be a path.
bool fits_a_path(std::string_view name);

// Collects the cuts of one call's arguments and marks its answer with
// them. Each method returns the argument as the tool is to see it.
class InputCuts {
 public:
  // The first `max_chars` code points of `text` (never inside a UTF-8
  // sequence). Marks "<name>_truncated_to": max_chars when it was longer.
  std::string text(std::string_view text, std::string_view name, size_t max_chars = kMaxStoredTextChars);

  // `names` without those that do not fit a path (marked
  // "<name>_dropped_too_long": how many), then cut to its first names that
  // are at most kMaxListedFiles and hold at most kMaxListedFileBytes bytes
  // (marked "<name>_truncated_to": how many were kept). Duplicates and
  // empty names are kept, as given.
  std::vector<std::string> files(std::span<const std::string> names, std::string_view name);

  // The first kMaxTags of `tags` (marked "<name>_truncated_to": kMaxTags),
  // each cut to kMaxLabelChars code points (marked
  // "<name>_each_truncated_to": kMaxLabelChars when any was longer).
  std::vector<std::string> tags(std::span<const std::string> tags, std::string_view name);

  // `answer` with one member appended per cut; unchanged when nothing was
  // cut or it is not an object.
  common::Json mark(common::Json answer) const;

 private:
  void note(std::string_view name, std::string_view suffix, size_t value);

  std::vector<std::pair<std::string, size_t>> marks_;
};

}  // namespace lumenfold::lodestar
