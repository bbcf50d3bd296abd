#include "lumenfold/surveyor/progress_meter.h"

#include <cstdio>
#include <string>
#include <utility>

namespace lumenfold::surveyor {

namespace {

// Fast enough to look live on a terminal, and slow enough that redrawing
// the line costs nothing next to the scan.
constexpr std::chrono::milliseconds kTerminalInterval{200};
// A log or a pipe keeps every line: two a second at most.
constexpr std::chrono::milliseconds kLineInterval{500};
// Erases what a longer earlier line left to the right of the cursor.
constexpr char kClearToLineEnd[] = "\033[K";

std::string files_per_second(size_t done, double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
  return text;
}

}  // namespace

ProgressMeter::ProgressMeter(std::ostream& out, bool terminal, Clock clock)
    : out_(out), terminal_(terminal), clock_(std::move(clock)), started_(clock_()), last_shown_(started_) {}

double ProgressMeter::seconds_since_start() const { return std::chrono::duration<double>(clock_() - started_).count(); }

void ProgressMeter::write_line(const std::string& text) {
  if (terminal_) {
    out_ << '\r' << text << kClearToLineEnd << std::flush;
  } else {
    out_ << text << '\n' << std::flush;
  }
}

void ProgressMeter::start(std::string_view root) {
  started_ = clock_();
  write_line("surveyor: counting files under " + std::string(root));
}

void ProgressMeter::update(size_t done, size_t total) {
  const auto now = clock_();
  if (shown_ && now - last_shown_ < (terminal_ ? kTerminalInterval : kLineInterval)) return;
  shown_ = true;
  last_shown_ = now;
  write_line("surveyor: " + std::to_string(done) + "/" + std::to_string(total) + " files (" +
             files_per_second(done, seconds_since_start()) + " files/s)");
}

void ProgressMeter::finish(size_t total) {
  const double seconds = seconds_since_start();
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1f", seconds);
  write_line("surveyor: scanned " + std::to_string(total) + " files in " + elapsed + " s (" +
             files_per_second(total, seconds) + " files/s)");
  if (terminal_) out_ << '\n' << std::flush;
}

}  // namespace lumenfold::surveyor
