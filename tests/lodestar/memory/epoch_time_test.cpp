#include "lumenfold/lodestar/memory/epoch_time.h"

#include <string>

#include <gtest/gtest.h>

#include "lumenfold/common/regex.h"

namespace lumenfold::lodestar {
namespace {

TEST(IsoTimeTest, WritesMicrosecondsOnlyWhenNotZero) {
  EXPECT_EQ(iso_time(1769850902.0), "2026-01-31T09:15:02+00:00");
  EXPECT_EQ(iso_time(1769850902.123456), "2026-01-31T09:15:02.123456+00:00");
  EXPECT_EQ(iso_time(0.000001), "1970-01-01T00:00:00.000001+00:00");
  EXPECT_EQ(iso_time(-0.5), "1969-12-31T23:59:59.500000+00:00");
}

TEST(IsoTimeTest, NowHasTheTimestampForm) {
  const common::Regex form(R"([0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]{6})?\+00:00)");
  const std::string now = iso_time(now_epoch());
  EXPECT_TRUE(form.full_match(now)) << now;
}

}  // namespace
}  // namespace lumenfold::lodestar
