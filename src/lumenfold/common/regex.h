#pragma once
// Perl-compatible regular expressions over UTF-8 text (PCRE2 with JIT).
// Every pattern is compiled with UTF and UCP, so \w, \s, \b and \d are
// Unicode-aware, and with "\n" as the only newline, so "^" and "$" in
// multi-line mode and "." behave as in most scripting languages.
//
// Every match runs under a backtracking limit (steps, nesting depth and
// heap), set once here for every pattern, since subjects may be hostile
// (a query, a file). A search that hits it stops there: `search`,
// `match_at_start` and `full_match` report no match, and `find_all` keeps
// the matches found before it and sets `limit_hit`, so a pathological text
// degrades to a partial result instead of hanging the caller. The JIT does
// not count the steps of a single-character repeat against the limit, so
// a pattern such as "[\w.]*x" over a megabyte can still run quadratic:
// bound the length of untrusted subjects too.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::common {

enum RegexFlag : unsigned {
  kRegexNone = 0,
  kRegexCaseless = 1u << 0,
  kRegexMultiline = 1u << 1,  // "^" and "$" at every line
  kRegexDotAll = 1u << 2,     // "." matches "\n" too
};

class RegexMatch {
 public:
  RegexMatch(std::string_view subject, std::vector<size_t> offsets) : subject_(subject), offsets_(std::move(offsets)) {}
  // Whether group `g` took part in the match (group 0 always does).
  bool has(int g) const;
  // The text of group `g`; empty when it did not take part.
  std::string_view group(int g) const;
  // Group 1 when it took part, else group 2 (the "one or the other" idiom).
  std::string_view group_or(int first, int second) const;
  size_t start(int g = 0) const { return offsets_[2 * g]; }
  size_t end(int g = 0) const { return offsets_[2 * g + 1]; }
  int group_count() const { return static_cast<int>(offsets_.size() / 2) - 1; }

 private:
  std::string_view subject_;
  std::vector<size_t> offsets_;
};

struct RegexMatches {
  std::vector<RegexMatch> matches;
  bool limit_hit = false;  // the backtracking limit stopped the scan early
};

class Regex {
 public:
  // Compiles `pattern`. A pattern that does not compile is a programming
  // error for fixed patterns: throws std::invalid_argument with the
  // engine's message. Use `compile` for patterns that come from users.
  explicit Regex(std::string_view pattern, unsigned flags = kRegexNone);
  static std::unique_ptr<Regex> compile(std::string_view pattern, unsigned flags, std::string* error);
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // First match at or after byte offset `from`.
  std::optional<RegexMatch> search(std::string_view subject, size_t from = 0) const;
  // A match that begins exactly at offset 0.
  std::optional<RegexMatch> match_at_start(std::string_view subject) const;
  // A match that spans the whole subject.
  bool full_match(std::string_view subject) const;
  // Every non-overlapping match, left to right (empty matches advance by one
  // code point, as in Perl and Python).
  RegexMatches find_all(std::string_view subject) const;
  // Replaces every match by `replacement`, in which \1..\99 and \g<N> stand
  // for groups (a group that did not take part gives ""), and "\\" for a
  // backslash.
  std::string replace_all(std::string_view subject, std::string_view replacement) const;
  // The pieces between matches (the pattern's groups are not returned).
  std::vector<std::string_view> split(std::string_view subject) const;

 private:
  Regex() = default;
  enum class Outcome { kMatch, kNoMatch, kLimit };
  Outcome match_once(std::string_view subject, size_t from, unsigned options, std::vector<size_t>* offsets) const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Escapes every character that has a meaning in a pattern.
std::string regex_escape(std::string_view text);

}  // namespace lumenfold::common
