// Search words derived from a symbol name: the name itself, its camel-case
// parts and its snake-case parts, so that "handleLogin" is found by "login".

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/regex.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/surveyor/symbols.h"

namespace lumenfold::surveyor {
namespace {

// Parts of one or two characters ("to", "id", "a") are noise as search words.
constexpr size_t kMinCamelPartChars = 3;
// Same floor for keywords, counted after stripping underscores.
constexpr size_t kMinKeywordChars = 3;
// A long snake_case name should not flood the keyword list.
constexpr size_t kMaxNameKeywords = 10;

struct CamelPatterns {
  // "getUser" -> "get User", "v2Api" -> "v2 Api".
  common::Regex lower_then_upper{R"re(([a-z0-9])([A-Z]))re"};
  // "HTTPResponse" -> "HTTP Response": an acronym ends before the capital
  // that starts the next word.
  common::Regex acronym_then_word{R"re(([A-Z]+)([A-Z][a-z]))re"};
};

const CamelPatterns& camel_patterns() {
  // Compiled once, on first use, and never changed afterwards.
  static const CamelPatterns kPatterns;
  return kPatterns;
}

// Lower-cased, with leading and trailing underscores removed.
std::string normalize_keyword(std::string_view word) {
  std::string lowered = common::to_lower(word);
  const size_t first = lowered.find_first_not_of('_');
  if (first == std::string::npos) return "";
  const size_t last = lowered.find_last_not_of('_');
  return lowered.substr(first, last - first + 1);
}

}  // namespace

std::vector<std::string> split_camel(std::string_view name) {
  const CamelPatterns& patterns = camel_patterns();
  const std::string spaced =
      patterns.acronym_then_word.replace_all(patterns.lower_then_upper.replace_all(name, R"(\1 \2)"), R"(\1 \2)");
  std::vector<std::string> parts;
  for (std::string_view part : common::split_whitespace(spaced)) {
    if (common::code_point_count(part) >= kMinCamelPartChars) {
      parts.push_back(common::to_lower(part));
    }
  }
  return parts;
}

std::vector<std::string> name_keywords(std::string_view name) {
  std::vector<std::string> words;
  std::set<std::string, std::less<>> seen;
  auto add = [&](std::string_view candidate) {
    std::string word = normalize_keyword(candidate);
    if (common::code_point_count(word) < kMinKeywordChars) return;
    if (!seen.insert(word).second) return;
    words.push_back(std::move(word));
  };

  add(name);
  for (const std::string& part : split_camel(name)) add(part);
  size_t from = 0;
  while (true) {
    const size_t underscore = name.find('_', from);
    add(name.substr(from, underscore == std::string_view::npos ? std::string_view::npos : underscore - from));
    if (underscore == std::string_view::npos) break;
    from = underscore + 1;
  }

  if (words.size() > kMaxNameKeywords) words.resize(kMaxNameKeywords);
  return words;
}

}  // namespace lumenfold::surveyor
