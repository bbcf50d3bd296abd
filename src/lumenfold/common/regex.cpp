#include "lumenfold/common/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <stdexcept>

#include <pcre2.h>

#include "lumenfold/common/utf8.h"

namespace lumenfold::common {

namespace {

// Backtracking steps one match attempt may take. Generous for any real
// source file, small enough that a pathological one gives up in well under
// a second instead of running for minutes.
constexpr uint32_t kMatchLimit = 5'000'000;
// Nested backtracking frames the interpreter may hold at once: a group
// repeated over a long run of text (a query of megabytes) nests one frame
// per repeat. Far above what a source line or a query needs.
constexpr uint32_t kDepthLimit = 250'000;
// The heap those frames may take, in KiB.
constexpr uint32_t kHeapLimitKiB = 64 * 1024;
// The JIT stack grows to this size; lazy patterns over long lines need
// more than the 32 KiB default.
constexpr size_t kJitStackStart = 64 * 1024;
constexpr size_t kJitStackMax = 8 * 1024 * 1024;

// One JIT stack and match context per thread: a JIT stack must not be used
// by two matches at once, and the server's handlers run on a thread pool.
struct ThreadMatchResources {
  pcre2_match_context* context = nullptr;
  pcre2_jit_stack* jit_stack = nullptr;
  ThreadMatchResources() {
    context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(context, kMatchLimit);
    pcre2_set_depth_limit(context, kDepthLimit);
    pcre2_set_heap_limit(context, kHeapLimitKiB);
    jit_stack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
    pcre2_jit_stack_assign(context, nullptr, jit_stack);
  }
  ~ThreadMatchResources() {
    pcre2_jit_stack_free(jit_stack);
    pcre2_match_context_free(context);
  }
  ThreadMatchResources(const ThreadMatchResources&) = delete;
  ThreadMatchResources& operator=(const ThreadMatchResources&) = delete;
};

pcre2_match_context* thread_match_context() {
  thread_local ThreadMatchResources resources;
  return resources.context;
}

std::string error_text(int code) {
  PCRE2_UCHAR buf[256];
  pcre2_get_error_message(code, buf, sizeof buf);
  return reinterpret_cast<const char*>(buf);
}

// Owns a match data block sized for one pattern.
struct MatchData {
  pcre2_match_data* data;
  explicit MatchData(const pcre2_code* code) : data(pcre2_match_data_create_from_pattern(code, nullptr)) {}
  ~MatchData() { pcre2_match_data_free(data); }
  MatchData(const MatchData&) = delete;
  MatchData& operator=(const MatchData&) = delete;
};

}  // namespace

bool RegexMatch::has(int g) const {
  if (g < 0 || 2 * static_cast<size_t>(g) + 1 >= offsets_.size()) return false;
  return offsets_[2 * g] != PCRE2_UNSET;
}

std::string_view RegexMatch::group(int g) const {
  if (!has(g)) return {};
  return subject_.substr(offsets_[2 * g], offsets_[2 * g + 1] - offsets_[2 * g]);
}

std::string_view RegexMatch::group_or(int first, int second) const { return has(first) ? group(first) : group(second); }

struct Regex::Impl {
  pcre2_code* code = nullptr;
  // The same pattern compiled anchored: anchoring at match time would
  // leave the JIT for the interpreter and its start-up scans of the whole
  // subject, so a match at the start of a long text would cost its length.
  pcre2_code* anchored = nullptr;
  ~Impl() {
    pcre2_code_free(code);
    pcre2_code_free(anchored);
  }
};

namespace {

pcre2_code* compile_pattern(std::string_view pattern, unsigned flags, std::string* error, uint32_t extra_options = 0) {
  uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | extra_options;
  if (flags & kRegexCaseless) options |= PCRE2_CASELESS;
  if (flags & kRegexMultiline) options |= PCRE2_MULTILINE;
  if (flags & kRegexDotAll) options |= PCRE2_DOTALL;
  pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(cctx, PCRE2_NEWLINE_LF);
  int code_error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options, &code_error, &offset, cctx);
  pcre2_compile_context_free(cctx);
  if (code == nullptr) {
    if (error) *error = error_text(code_error) + " at offset " + std::to_string(offset);
    return nullptr;
  }
  // Without JIT the interpreter still works, only slower.
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  return code;
}

}  // namespace

Regex::Regex(std::string_view pattern, unsigned flags) : impl_(std::make_unique<Impl>()) {
  std::string error;
  impl_->code = compile_pattern(pattern, flags, &error);
  if (impl_->code == nullptr) {
    throw std::invalid_argument("bad regular expression \"" + std::string(pattern) + "\": " + error);
  }
  impl_->anchored = compile_pattern(pattern, flags, nullptr, PCRE2_ANCHORED);
}

std::unique_ptr<Regex> Regex::compile(std::string_view pattern, unsigned flags, std::string* error) {
  pcre2_code* code = compile_pattern(pattern, flags, error);
  if (code == nullptr) return nullptr;
  std::unique_ptr<Regex> re(new Regex());
  re->impl_ = std::make_unique<Impl>();
  re->impl_->code = code;
  re->impl_->anchored = compile_pattern(pattern, flags, nullptr, PCRE2_ANCHORED);
  return re;
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

Regex::Outcome Regex::match_once(std::string_view subject, size_t from, unsigned options,
                                 std::vector<size_t>* offsets) const {
  const pcre2_code* code = impl_->code;
  if (options & PCRE2_ANCHORED) {
    code = impl_->anchored;
    options &= ~PCRE2_ANCHORED;
  }
  MatchData md(code);
  int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), from, options, md.data,
                       thread_match_context());
  if (rc == PCRE2_ERROR_NOMATCH || rc == PCRE2_ERROR_PARTIAL) return Outcome::kNoMatch;
  if (rc < 0) return Outcome::kLimit;  // match, depth, heap or JIT stack limit
  uint32_t pairs = pcre2_get_ovector_count(md.data);
  PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
  offsets->assign(ov, ov + 2 * pairs);
  return Outcome::kMatch;
}

std::optional<RegexMatch> Regex::search(std::string_view subject, size_t from) const {
  std::vector<size_t> offsets;
  if (from > subject.size() || match_once(subject, from, 0, &offsets) != Outcome::kMatch) return std::nullopt;
  return RegexMatch(subject, std::move(offsets));
}

std::optional<RegexMatch> Regex::match_at_start(std::string_view subject) const {
  std::vector<size_t> offsets;
  if (match_once(subject, 0, PCRE2_ANCHORED, &offsets) != Outcome::kMatch) return std::nullopt;
  return RegexMatch(subject, std::move(offsets));
}

bool Regex::full_match(std::string_view subject) const {
  std::vector<size_t> offsets;
  return match_once(subject, 0, PCRE2_ANCHORED | PCRE2_ENDANCHORED, &offsets) == Outcome::kMatch;
}

RegexMatches Regex::find_all(std::string_view subject) const {
  RegexMatches result;
  size_t pos = 0;
  unsigned options = 0;
  std::vector<size_t> offsets;
  while (pos <= subject.size()) {
    Outcome outcome = match_once(subject, pos, options, &offsets);
    if (outcome == Outcome::kLimit) {
      result.limit_hit = true;
      break;
    }
    if (outcome == Outcome::kNoMatch) break;
    size_t start = offsets[0], end = offsets[1];
    result.matches.emplace_back(subject, offsets);
    // After an empty match the next one may not be empty at the same place:
    // a non-empty match there, or any match further on. (Anchoring the
    // retry instead would leave the JIT.)
    if (start == end && end == subject.size()) break;
    pos = end;
    options = (start == end) ? PCRE2_NOTEMPTY_ATSTART : 0;
  }
  return result;
}

std::string Regex::replace_all(std::string_view subject, std::string_view replacement) const {
  std::string out;
  size_t last = 0;
  for (const RegexMatch& m : find_all(subject).matches) {
    out.append(subject.substr(last, m.start() - last));
    for (size_t i = 0; i < replacement.size(); ++i) {
      char c = replacement[i];
      if (c != '\\' || i + 1 == replacement.size()) {
        out += c;
        continue;
      }
      char n = replacement[i + 1];
      if (n >= '0' && n <= '9') {
        int g = n - '0';
        ++i;
        if (i + 1 < replacement.size() && replacement[i + 1] >= '0' && replacement[i + 1] <= '9' &&
            g * 10 + (replacement[i + 1] - '0') <= m.group_count()) {
          g = g * 10 + (replacement[++i] - '0');
        }
        out.append(m.group(g));
      } else if (n == 'g' && i + 2 < replacement.size() && replacement[i + 2] == '<') {
        size_t close = replacement.find('>', i + 3);
        if (close == std::string_view::npos) {
          out += c;
          continue;
        }
        out.append(m.group(std::stoi(std::string(replacement.substr(i + 3, close - i - 3)))));
        i = close;
      } else if (n == 'n') {
        out += '\n';
        ++i;
      } else if (n == 't') {
        out += '\t';
        ++i;
      } else if (n == '\\') {
        out += '\\';
        ++i;
      } else {
        out += c;
      }
    }
    last = m.end();
  }
  out.append(subject.substr(last));
  return out;
}

std::vector<std::string_view> Regex::split(std::string_view subject) const {
  std::vector<std::string_view> pieces;
  size_t last = 0;
  for (const RegexMatch& m : find_all(subject).matches) {
    pieces.push_back(subject.substr(last, m.start() - last));
    last = m.end();
  }
  pieces.push_back(subject.substr(last));
  return pieces;
}

std::string regex_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    bool plain = u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!plain) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace lumenfold::common
