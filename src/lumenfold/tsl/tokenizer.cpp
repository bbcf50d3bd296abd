#include "lumenfold/tsl/tokenizer.h"

#include <algorithm>
#include <array>

namespace lumenfold::tsl {
namespace {

// Parts shorter than this ("a", "x", "i") match almost every file.
constexpr size_t kMinTermLength = 2;

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view s) { return std::all_of(s.begin(), s.end(), is_digit); }

// English function words and the keywords every source file repeats; both
// are so common that they only add noise to a score. Sorted for lookup.
constexpr std::array<std::string_view, 96> kStopTerms = {
    "about", "after", "again",  "all",   "also", "am",    "an",     "and",  "any",   "are",   "as",     "at",
    "be",    "been",  "before", "being", "both", "but",   "by",     "can",  "could", "def",   "did",    "do",
    "does",  "doing", "each",   "elif",  "else", "for",   "from",   "had",  "has",   "have",  "having", "he",
    "her",   "here",  "him",    "his",   "how",  "if",    "import", "in",   "into",  "is",    "it",     "its",
    "just",  "me",    "more",   "most",  "my",   "no",    "none",   "nor",  "not",   "now",   "of",     "on",
    "once",  "only",  "or",     "other", "our",  "out",   "over",   "same", "self",  "she",   "should", "so",
    "some",  "such",  "than",   "that",  "the",  "their", "them",   "then", "there", "these", "they",   "this",
    "those", "to",    "too",    "very",  "was",  "we",    "were",   "what", "when",  "which", "will",   "with"};

}  // namespace

std::vector<std::string_view> split_identifier(std::string_view word) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  auto cut = [&](size_t end) {
    if (end > start) parts.push_back(word.substr(start, end - start));
  };
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c == '_') {
      cut(i);
      start = i + 1;
      continue;
    }
    if (i == start || !is_upper(c)) continue;
    char prev = word[i - 1];
    bool after_lower = is_lower(prev) || is_digit(prev);
    bool ends_capital_run = is_upper(prev) && i + 1 < word.size() && is_lower(word[i + 1]);
    if (after_lower || ends_capital_run) {
      cut(i);
      start = i;
    }
  }
  cut(word.size());
  return parts;
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (is_upper(c)) c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool is_stop_term(std::string_view term) { return std::binary_search(kStopTerms.begin(), kStopTerms.end(), term); }

std::string stem_term(std::string_view term) {
  std::string t(term);
  size_t n = t.size();
  // Short words ("is", "has", "bus") are more often whole words than plurals.
  if (n <= 3 || !is_lower(t.back())) return t;
  if (t.ends_with("ies") && n > 4) return t.substr(0, n - 3) + "y";
  if (t.ends_with("sses")) return t.substr(0, n - 2);
  if (t.back() == 's' && !t.ends_with("ss") && !t.ends_with("us") && !t.ends_with("is")) return t.substr(0, n - 1);
  return t;
}

void append_word_terms(std::string_view word, std::vector<std::string>& out) {
  std::vector<std::string_view> parts = split_identifier(word);
  size_t kept_parts = 0;
  for (std::string_view part : parts) {
    if (part.size() < kMinTermLength || all_digits(part)) continue;
    ++kept_parts;
    std::string term = stem_term(ascii_lower(part));
    if (!is_stop_term(term)) out.push_back(std::move(term));
  }
  if (parts.size() < 2 || kept_parts == 0) return;
  size_t b = word.find_first_not_of('_');
  size_t e = word.find_last_not_of('_');
  out.push_back(stem_term(ascii_lower(word.substr(b, e - b + 1))));
}

std::vector<std::string> tokenize(std::string_view text) {
  std::vector<std::string> out;
  for_each_term(text, [&](std::string_view t) { out.emplace_back(t); });
  return out;
}

}  // namespace lumenfold::tsl
