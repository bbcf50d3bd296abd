#include "lumenfold/lodestar/memory/iso_datetime.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

namespace lumenfold::lodestar {
namespace {

struct Accepted {
  const char* text;
  int64_t epoch;
};

TEST(ParseIsoDatetimeTest, AcceptsDateTimesWithOffsets) {
  const Accepted cases[] = {
      {"2024-01-01T00:00:00+00:00", 1704067200},   {"2024-01-01T00:00:00Z", 1704067200},
      {"2024-01-01 02:00:00+02:00", 1704067200},   {"2023-12-31T19:00-05:00", 1704067200},
      {"20240101T000000+0000", 1704067200},        {"2024-01-01T00:00:00.999999+00:00", 1704067200},
      {"2024-01-01T00:00:01,5+00:00", 1704067201}, {"2024-02-29T12:00:00+00:00", 1709208000},
      {"1969-12-31T23:59:59.5+00:00", 0},          {"1960-01-01T00:00:00+00:00", -315619200},
      {"2024-01-01T05:30:00+05:30", 1704067200},   {"2024-01-01T00:00:00+00:00:30", 1704067170},
  };
  for (const Accepted& c : cases) EXPECT_EQ(parse_iso_datetime(c.text), c.epoch) << c.text;
}

TEST(ParseIsoDatetimeTest, RejectsEverythingElse) {
  const char* cases[] = {"",
                         "yesterday",
                         "2024-1-01",
                         "2024-13-01T00:00:00Z",
                         "2023-02-29T00:00:00Z",
                         "2024-01-01T24:00:00Z",
                         "2024-01-01T00:60:00Z",
                         "2024-01-01T",
                         "2024-01-01T00:00:00+",
                         "2024-01-01T00:00:00 UTC",
                         "2024-01-0100:00",
                         "1704067200",
                         "2024-01-01T00:00:00.+00:00"};
  for (const char* text : cases) EXPECT_FALSE(parse_iso_datetime(text).has_value()) << text;
}

TEST(ParseIsoDatetimeTest, NaiveTimesAreLocal) {
  const char* old_tz = std::getenv("TZ");
  std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "Europe/Paris", 1);
  tzset();
  EXPECT_EQ(parse_iso_datetime("2024-01-01T01:00:00"), 1704067200);
  EXPECT_EQ(parse_iso_datetime("2024-07-01"), 1719784800);
  if (old_tz) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
}  // namespace lumenfold::lodestar
