#include "lumenfold/lodestar/memory/epoch_time.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace lumenfold::lodestar {
namespace {

constexpr int64_t kMicrosPerSecond = 1000000;

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
  int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                        parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
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

std::string iso_time(double epoch_seconds) {
  return format_micros(std::llround(epoch_seconds * static_cast<double>(kMicrosPerSecond)));
}

double now_epoch() { return static_cast<double>(now_micros()) / static_cast<double>(kMicrosPerSecond); }

int64_t whole_seconds(double epoch_seconds) { return static_cast<int64_t>(std::floor(epoch_seconds)); }

}  // namespace lumenfold::lodestar
