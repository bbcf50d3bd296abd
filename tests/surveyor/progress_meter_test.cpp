#include "lumenfold/surveyor/progress_meter.h"

#include <sstream>

#include <gtest/gtest.h>

namespace lumenfold::surveyor {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A clock the test moves by hand.
struct FakeClock {
  steady_clock::time_point now{};
  ProgressMeter::Clock reader() {
    return [this] { return now; };
  }
};

// Updates at the given milliseconds after the start, 100 files apart, then
// the end after two seconds; returns what the meter wrote.
std::string run_meter(bool terminal, std::initializer_list<int> update_ms) {
  FakeClock clock;
  std::ostringstream out;
  ProgressMeter meter(out, terminal, clock.reader());
  meter.start("/p");
  size_t done = 0;
  for (int ms : update_ms) {
    clock.now = steady_clock::time_point{} + milliseconds(ms);
    meter.update(done, 1000);
    done += 100;
  }
  clock.now = steady_clock::time_point{} + milliseconds(2000);
  meter.finish(1000);
  return out.str();
}

TEST(ProgressMeterTest, TerminalRewritesOneLineAtMostFiveTimesASecond) {
  EXPECT_EQ(run_meter(true, {0, 100, 250, 300}),
            "\rsurveyor: counting files under /p\033[K"
            "\rsurveyor: 0/1000 files (0 files/s)\033[K"
            "\rsurveyor: 200/1000 files (800 files/s)\033[K"
            "\rsurveyor: scanned 1000 files in 2.0 s (500 files/s)\033[K\n");
}

TEST(ProgressMeterTest, LogGetsWholeLinesAtMostTwiceASecond) {
  EXPECT_EQ(run_meter(false, {0, 250, 600}),
            "surveyor: counting files under /p\n"
            "surveyor: 0/1000 files (0 files/s)\n"
            "surveyor: 200/1000 files (333 files/s)\n"
            "surveyor: scanned 1000 files in 2.0 s (500 files/s)\n");
}

}  // namespace
}  // namespace lumenfold::surveyor
