#include "lumenfold/lodestar/memory/iso_datetime.h"

#include <cmath>
#include <ctime>

#include "lumenfold/common/utf8.h"

namespace lumenfold::lodestar {

namespace {

// A cursor over the text; every reader consumes only on success.
struct Cursor {
  std::string_view text;
  size_t pos = 0;

  bool done() const { return pos == text.size(); }
  bool peek(char c) const { return pos < text.size() && text[pos] == c; }
  bool eat(char c) {
    if (!peek(c)) return false;
    ++pos;
    return true;
  }
  bool digit_at(size_t i) const { return i < text.size() && text[i] >= '0' && text[i] <= '9'; }
  // Exactly `n` digits.
  std::optional<int> digits(size_t n) {
    int value = 0;
    for (size_t i = 0; i < n; ++i) {
      if (!digit_at(pos + i)) return std::nullopt;
      value = value * 10 + (text[pos + i] - '0');
    }
    pos += n;
    return value;
  }
};

struct Clock {
  int hour = 0, minute = 0, second = 0;
  double fraction = 0;
};

bool is_leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool read_date(Cursor& c, int& y, int& m, int& d) {
  auto year = c.digits(4);
  if (!year) return false;
  bool extended = c.eat('-');
  auto month = c.digits(2);
  if (!month || (extended && !c.eat('-'))) return false;
  auto day = c.digits(2);
  if (!day) return false;
  y = *year, m = *month, d = *day;
  return y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= days_in_month(y, m);
}

// Up to nine digits after "." or ","; more digits than that are not read.
bool read_fraction(Cursor& c, double& fraction) {
  if (!c.eat('.') && !c.eat(',')) return true;
  size_t start = c.pos;
  double scale = 0.1;
  while (c.digit_at(c.pos) && c.pos - start < 9) {
    fraction += (c.text[c.pos] - '0') * scale;
    scale /= 10;
    ++c.pos;
  }
  return c.pos > start;
}

// HH[:MM[:SS]] or HH[MM[SS]], then an optional fraction.
bool read_clock(Cursor& c, Clock& clock) {
  auto hour = c.digits(2);
  if (!hour) return false;
  clock.hour = *hour;
  bool extended = c.peek(':');
  for (int* part : {&clock.minute, &clock.second}) {
    if (extended ? !c.eat(':') : !c.digit_at(c.pos)) break;
    auto v = c.digits(2);
    if (!v) return false;
    *part = *v;
  }
  if (!read_fraction(c, clock.fraction)) return false;
  return clock.hour < 24 && clock.minute < 60 && clock.second < 60;
}

// "Z" or a signed offset; seconds east of UTC.
bool read_offset(Cursor& c, std::optional<double>& offset) {
  if (c.eat('Z')) {
    offset = 0;
    return true;
  }
  int sign = c.eat('+') ? 1 : c.eat('-') ? -1 : 0;
  if (sign == 0) return false;
  Clock clock;
  if (!read_clock(c, clock)) return false;
  offset = sign * (clock.hour * 3600 + clock.minute * 60 + clock.second + clock.fraction);
  return true;
}

double seconds_since_epoch(int y, int m, int d, const Clock& clock, std::optional<double> offset) {
  if (offset) {
    int64_t days = days_from_civil(y, m, d);
    double utc = static_cast<double>(days * 86400 + clock.hour * 3600 + clock.minute * 60 + clock.second);
    return utc + clock.fraction - *offset;
  }
  std::tm local{};
  local.tm_year = y - 1900;
  local.tm_mon = m - 1;
  local.tm_mday = d;
  local.tm_hour = clock.hour;
  local.tm_min = clock.minute;
  local.tm_sec = clock.second;
  local.tm_isdst = -1;  // let the zone rules decide, as a naive local time does
  return static_cast<double>(std::mktime(&local)) + clock.fraction;
}

}  // namespace

std::optional<int64_t> parse_iso_datetime(std::string_view text) {
  Cursor c{text};
  int y = 0, m = 0, d = 0;
  if (!read_date(c, y, m, d)) return std::nullopt;
  Clock clock;
  std::optional<double> offset;
  if (!c.done()) {
    common::decode_at(text, c.pos);  // the separator: any one character
    if (!read_clock(c, clock)) return std::nullopt;
    if (!c.done() && !read_offset(c, offset)) return std::nullopt;
  }
  if (!c.done()) return std::nullopt;
  return static_cast<int64_t>(std::trunc(seconds_since_epoch(y, m, d, clock, offset)));
}

}  // namespace lumenfold::lodestar
