#include "lumenfold/lodestar/mcp/input_limits.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "lumenfold/common/utf8.h"

namespace lumenfold::lodestar {

bool fits_a_path(std::string_view name) { return name.size() <= kMaxPathBytes; }

std::string InputCuts::text(std::string_view text, std::string_view name, size_t max_chars) {
  std::string_view kept = common::cut_code_points(text, max_chars);
  if (kept.size() < text.size()) note(name, "_truncated_to", max_chars);
  return std::string(kept);
}

std::vector<std::string> InputCuts::files(std::span<const std::string> names, std::string_view name) {
  std::vector<std::string> kept;
  size_t too_long = 0;
  size_t bytes = 0;
  bool cut = false;
  for (const std::string& n : names) {
    if (!fits_a_path(n)) {
      ++too_long;
    } else if (!cut && kept.size() < kMaxListedFiles && bytes + n.size() <= kMaxListedFileBytes) {
      bytes += n.size();
      kept.push_back(n);
    } else {
      // The names after the cut are still counted when they are too long,
      // so the answer gives the same count whatever their order.
      cut = true;
    }
  }
  if (too_long > 0) note(name, "_dropped_too_long", too_long);
  if (cut) note(name, "_truncated_to", kept.size());
  return kept;
}

std::vector<std::string> InputCuts::tags(std::span<const std::string> tags, std::string_view name) {
  std::span<const std::string> listed = tags.first(std::min(tags.size(), kMaxTags));
  if (listed.size() < tags.size()) note(name, "_truncated_to", kMaxTags);
  std::vector<std::string> kept;
  bool any_cut = false;
  for (const std::string& tag : listed) {
    std::string_view cut = common::cut_code_points(tag, kMaxLabelChars);
    any_cut = any_cut || cut.size() < tag.size();
    kept.emplace_back(cut);
  }
  if (any_cut) note(name, "_each_truncated_to", kMaxLabelChars);
  return kept;
}

common::Json InputCuts::mark(common::Json answer) const {
  if (!answer.is_object()) return answer;
  for (const auto& [key, value] : marks_) answer[key] = value;
  return answer;
}

void InputCuts::note(std::string_view name, std::string_view suffix, size_t value) {
  marks_.emplace_back(std::string(name) + std::string(suffix), value);
}

}  // namespace lumenfold::lodestar
