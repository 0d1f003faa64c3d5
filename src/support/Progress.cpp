#include "support/Progress.h"

#include <algorithm>

namespace drs {

std::string ProgressCounterText(long long position, long long total) {
  if (total >= 0) return "( " + std::to_string(position) + " / " + std::to_string(total) + " )";
  return "( " + std::to_string(position) + " )";
}

bool ProgressGauge::Set(long long position, long long total) {
  long long max = total >= 0 ? total : 2 * std::max(position, 0LL);
  long long progress = std::clamp(position, 0LL, std::max(max, 0LL));
  int percent = max > 0 ? static_cast<int>(static_cast<long double>(progress) * 100 / max) : 0;
  // Integer arithmetic where it fits, so 1/3 gives exactly 33.
  if (max > 0 && progress <= INT64_MAX / 100) percent = static_cast<int>(progress * 100 / max);
  bool redraw = max != max_ || percent != percent_;
  max_ = max;
  progress_ = progress;
  percent_ = percent;
  return redraw;
}

std::string ElapsedTimeText(int64_t elapsedMs) {
  if (elapsedMs < 1000) return {};
  int64_t seconds = elapsedMs / 1000;
  int64_t days = seconds / 86400;
  int64_t inDay = seconds % 86400;
  int64_t h = inDay / 3600, m = inDay % 3600 / 60, s = inDay % 60;
  std::string text;
  if (days >= 1) text += std::to_string(days) + " сут. ";
  if (h != 0) text += std::to_string(h) + " час. ";
  if (m != 0) text += std::to_string(m) + " мин. ";
  if (s != 0) text += std::to_string(s) + " сек.";
  return text;
}

int ProgressWindowHeight(int designHeight, int stepCount, int screenHeight) {
  int wanted = designHeight + kProgressStepHeight * (std::max(stepCount, 1) - 1);
  return std::min(wanted, screenHeight * 2 / 3);
}

int ProgressWindowOrigin(int screenSize, int windowSize, int windowCount) {
  return (screenSize - windowSize) / 2 + kProgressCascade * (windowCount - 1);
}

EProgressTerminate::EProgressTerminate(const std::string& step, const std::string& counterText,
                                       long long position)
    : std::runtime_error("Процесс прерван на шаге '" + step + "' " + counterText),
      step_(step),
      position_(position) {}

}  // namespace drs
