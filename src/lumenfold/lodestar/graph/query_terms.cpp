#include "lumenfold/lodestar/graph/query_terms.h"

// Query terms and keys are stored (action graph, retrieval cache) and
// compared across calls, so their rules are fixed exactly: ASCII word runs of
// the fully lower-cased query, short words and stop words dropped, the first
// eight distinct words kept in order.

#include <array>
#include <unordered_set>

#include "lumenfold/common/text_case.h"

namespace lumenfold::lodestar {
namespace {

// Words shorter than this are too common to rank files by.
constexpr size_t kMinTermChars = 3;
// More terms than this only dilute the ranking and lengthen the key.
constexpr size_t kMaxTerms = 8;

// Request filler words that say nothing about which code to look at.
constexpr std::array<std::string_view, 26> kStopWords = {
    "a",   "an",    "the",   "and",    "or",   "to",  "for",    "with", "in",   "on",   "by",   "of",   "please",
    "can", "could", "would", "should", "will", "use", "update", "fix",  "make", "show", "this", "that", "it"};

bool is_word_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_stop_word(std::string_view word) {
  for (std::string_view stop : kStopWords) {
    if (stop == word) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> query_terms(std::string_view query) {
  // ASCII bytes never occur inside multi-byte UTF-8 sequences, so scanning
  // bytes finds exactly the ASCII word runs; every other character splits.
  const std::string lowered = common::to_lower(query);
  std::vector<std::string> terms;
  std::unordered_set<std::string_view> taken;
  size_t i = 0;
  while (i < lowered.size() && terms.size() < kMaxTerms) {
    if (!is_word_byte(lowered[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < lowered.size() && is_word_byte(lowered[i])) ++i;
    std::string_view word(lowered.data() + start, i - start);
    if (word.size() < kMinTermChars || is_stop_word(word) || taken.count(word)) continue;
    taken.insert(word);
    terms.emplace_back(word);
  }
  return terms;
}

std::string query_key(std::string_view query) { return join_terms(query_terms(query)); }

std::string join_terms(const std::vector<std::string>& terms) {
  std::string key;
  for (const std::string& term : terms) {
    if (!key.empty()) key += ' ';
    key += term;
  }
  return key;
}

}  // namespace lumenfold::lodestar
