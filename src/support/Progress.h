// The progress window's arithmetic: counter text, gauge, elapsed time,
// window height and cascade, and the error raised by a cancelled operation.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace drs {

// "( 5 / 100 )" with a total, "( 7 )" without one (total below 0).
std::string ProgressCounterText(long long position, long long total);

// The bar: maximum is the total, or twice the position without a total;
// progress is held between 0 and the maximum.
class ProgressGauge {
 public:
  // True when the bar must be redrawn: its maximum or whole percentage changed.
  bool Set(long long position, long long total);
  long long Maximum() const { return max_; }
  long long Progress() const { return progress_; }
  // Progress × 100 / maximum rounded down; 0 for a maximum of 0.
  int Percent() const { return percent_; }

 private:
  long long max_ = 0;
  long long progress_ = 0;
  int percent_ = 0;
};

// "1 сут. 2 час. 3 мин. 4 сек.", parts left out when zero, milliseconds
// dropped; empty under a second (and for a negative time).
std::string ElapsedTimeText(int64_t elapsedMs);

constexpr int kProgressStepHeight = 20;
constexpr int kProgressCascade = 20;
// Design height grown by 20 per step after the first, at most 2/3 of the screen.
int ProgressWindowHeight(int designHeight, int stepCount, int screenHeight);
// Top-left of the N-th progress window in existence (N from 1).
int ProgressWindowOrigin(int screenSize, int windowSize, int windowCount);

// A cancelled operation's next report: "Процесс прерван на шаге '<step>' <counter>".
class EProgressTerminate : public std::runtime_error {
 public:
  EProgressTerminate(const std::string& step, const std::string& counterText, long long position);
  const std::string& Step() const { return step_; }
  long long Position() const { return position_; }

 private:
  std::string step_;
  long long position_;
};

}  // namespace drs
