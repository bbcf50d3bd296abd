#include "lumenfold/lodestar/graph/text_utils.h"

// Query terms and keys are stored (action graph, retrieval cache) and
// compared across calls, so their rules are fixed exactly: ASCII word runs of
// the fully lower-cased query, short words and stop words dropped, the first
// eight distinct words kept in order.

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "lumenfold/common/file_io.h"
#include "lumenfold/common/text_case.h"
#include "lumenfold/common/text_search.h"
#include "lumenfold/common/utf8.h"

namespace lumenfold::lodestar {
namespace {

// Words shorter than this are too common to rank files by.
constexpr size_t kMinTermChars = 3;
// More terms than this only dilute the ranking and lengthen the key.
constexpr size_t kMaxTerms = 8;

// Request filler words that say nothing about which code to look at.
constexpr std::array<std::string_view, 26> kStopWords = {
    "a",    "an",    "the",   "and",    "or",     "to",   "for",  "with", "in",
    "on",   "by",    "of",    "please", "can",    "could", "would", "should", "will",
    "use",  "update", "fix",  "make",   "show",   "this", "that", "it"};

// Lines kept before and after a hit, so an excerpt shows the surrounding code.
constexpr int64_t kContextLinesBefore = 12;
constexpr int64_t kContextLinesAfter = 12;
constexpr std::string_view kExcerptSeparator = "\n\n/* --- excerpt --- */\n\n";

// A rough token cost: about four characters per token for code and prose.
constexpr int64_t kCharsPerToken = 4;

constexpr int64_t kMicrosPerSecond = 1000000;

bool is_word_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_';
}

bool is_stop_word(std::string_view word) {
  for (std::string_view stop : kStopWords) {
    if (stop == word) return true;
  }
  return false;
}

// The first `max_chars` code points; a negative count reads as none.
std::string first_chars(std::string_view text, int64_t max_chars) {
  if (max_chars <= 0) return std::string();
  return std::string(common::cut_code_points(text, static_cast<size_t>(max_chars)));
}

bool mentions_any(std::string_view lowered_line, const std::vector<std::string>& terms) {
  for (const std::string& term : terms) {
    if (common::contains_text(lowered_line, term)) return true;
  }
  return false;
}

std::string join_lines(const std::vector<std::string_view>& lines, size_t start, size_t end) {
  std::string chunk;
  for (size_t i = start; i < end; ++i) {
    if (i > start) chunk += '\n';
    chunk.append(lines[i]);
  }
  return chunk;
}

// Splits whole microseconds since the epoch into seconds and a
// non-negative fraction, so times before 1970 format correctly too.
std::string format_micros(int64_t micros) {
  int64_t seconds = micros / kMicrosPerSecond;
  int64_t fraction = micros % kMicrosPerSecond;
  if (fraction < 0) {
    fraction += kMicrosPerSecond;
    seconds -= 1;
  }
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&t, &parts);
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", parts.tm_year + 1900,
                        parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                        parts.tm_sec);
  std::string out(buf, static_cast<size_t>(n));
  if (fraction != 0) {
    std::snprintf(buf, sizeof buf, ".%06lld", static_cast<long long>(fraction));
    out += buf;
  }
  out += "+00:00";
  return out;
}

int64_t now_micros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
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

std::string query_key(std::string_view query) {
  std::string key;
  for (const std::string& term : query_terms(query)) {
    if (!key.empty()) key += ' ';
    key += term;
  }
  return key;
}

std::string excerpt_by_terms(std::string_view text, const std::vector<std::string>& terms,
                             int64_t max_chars) {
  if (terms.empty()) return first_chars(text, max_chars);
  const std::vector<std::string_view> lines = common::split_lines(text);
  if (lines.empty()) return first_chars(text, max_chars);

  const int64_t line_count = static_cast<int64_t>(lines.size());
  std::unordered_set<int64_t> used_starts;
  std::vector<std::string> chunks;
  int64_t total_chars = 0;
  for (int64_t i = 0; i < line_count; ++i) {
    if (!mentions_any(common::to_lower(lines[i]), terms)) continue;
    const int64_t start = std::max<int64_t>(0, i - kContextLinesBefore);
    const int64_t end = std::min(i + kContextLinesAfter + 1, line_count);
    if (!used_starts.insert(start).second) continue;
    chunks.push_back(join_lines(lines, static_cast<size_t>(start), static_cast<size_t>(end)));
    total_chars += static_cast<int64_t>(common::code_point_count(chunks.back()));
    // Enough text already: a large file with many hits costs little more
    // than its first hits.
    if (total_chars >= max_chars) break;
  }
  if (chunks.empty()) return first_chars(text, max_chars);

  std::string joined;
  for (size_t c = 0; c < chunks.size(); ++c) {
    if (c > 0) joined.append(kExcerptSeparator);
    joined.append(chunks[c]);
  }
  return first_chars(joined, max_chars);
}

int64_t est_tokens(std::string_view text) {
  if (text.empty()) return 0;
  const int64_t chars = static_cast<int64_t>(common::code_point_count(text));
  return std::max<int64_t>(1, chars / kCharsPerToken);
}

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

std::string iso_time(double epoch_seconds) {
  return format_micros(std::llround(epoch_seconds * static_cast<double>(kMicrosPerSecond)));
}

std::string now_iso() { return format_micros(now_micros()); }

double now_epoch() {
  return static_cast<double>(now_micros()) / static_cast<double>(kMicrosPerSecond);
}

int64_t whole_seconds(double epoch_seconds) { return static_cast<int64_t>(std::floor(epoch_seconds)); }

void log_tool(const std::filesystem::path& log_file, std::string_view name,
              const common::Json& payload) {
  if (log_file.has_parent_path()) std::filesystem::create_directories(log_file.parent_path());
  common::Json line = common::Json::object();
  line["timestamp"] = now_iso();
  line["tool"] = std::string(name);
  line["payload"] = payload;
  if (!common::append_line(log_file, common::dump_spaced(line))) {
    throw std::runtime_error("cannot append to " + log_file.string());
  }
}

}  // namespace lumenfold::lodestar
