// What the export needs of a progress display. The main window adapts its
// progress window to it; drsprep-batch prints a line on a terminal.
#pragma once

#include <string>
#include <vector>

namespace drs {

class ExportProgress {
 public:
  virtual ~ExportProgress() = default;
  // Shows the display with its caption and steps.
  virtual void Begin(const std::string& caption, const std::vector<std::string>& steps) = 0;
  // Position of the step out of total. Throws (EProgressTerminate) when the
  // operator cancelled; the export does not catch it.
  virtual void ShowProgress(int step, long long position, long long total) = 0;
  // Offers "Готово" and returns when the operator closed the display.
  virtual void WaitDone() = 0;
  // Removes the display; called however the run ends.
  virtual void End() noexcept = 0;
};

// A display that shows nothing (tests, runs without a terminal).
class SilentProgress : public ExportProgress {
 public:
  void Begin(const std::string&, const std::vector<std::string>&) override {}
  void ShowProgress(int, long long, long long) override {}
  void WaitDone() override {}
  void End() noexcept override {}
};

}  // namespace drs
