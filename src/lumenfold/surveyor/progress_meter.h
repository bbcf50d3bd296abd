#pragma once
// A scan's progress as a person watching it reads it: files done out of
// the total and the rate, written to a stream (the command's stderr).

#include <chrono>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string_view>

namespace lumenfold::surveyor {

class ProgressMeter {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // On a terminal the meter rewrites one line ("\r"); elsewhere (a log, a
  // pipe) it writes whole lines, less often. `out` and `clock` must outlive
  // the meter.
  ProgressMeter(std::ostream& out, bool terminal, Clock clock = std::chrono::steady_clock::now);

  // Says the scan has started on `root`, before the walk counts its files,
  // which can take a while on a huge tree.
  void start(std::string_view root);
  // Shows `done` of `total`: always the first time, then at most once per
  // interval (0.2 s on a terminal, 0.5 s elsewhere).
  void update(size_t done, size_t total);
  // The closing line: the files scanned, the time taken and the rate.
  void finish(size_t total);

 private:
  double seconds_since_start() const;
  void write_line(const std::string& text);

  std::ostream& out_;
  bool terminal_;
  Clock clock_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_shown_;
  bool shown_ = false;
};

}  // namespace lumenfold::surveyor
