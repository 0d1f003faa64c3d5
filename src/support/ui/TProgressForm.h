// The progress window of a long operation: named steps, a gauge with a
// counter, the elapsed time and one button ("Отмена" while running,
// "Готово" when done). The main window is disabled while it is shown.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Progress.h"
#include "support/ui/FocusReturn.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace drs {

class TGradientCaption;

class TProgressForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDesignWidth = 355;
  static constexpr int kDesignHeight = 103;
  static constexpr int kBottomStrip = 77;
  static const char* const kDesignStepText;
  // Pending window messages are let through at most this often while running.
  static constexpr qint64 kMessagePassMs = 50;

  // `steps` holds at least one text; a blank caption keeps "Процесс...".
  TProgressForm(QWidget* owner, const QString& caption, const std::vector<std::string>& steps);
  TProgressForm(QWidget* owner, const QString& caption, const std::string& stepText);
  // Hides the window first when shown, so the main window is enabled again.
  ~TProgressForm() override;

  // Progress windows in existence.
  static int Count();

  // Step `stepIndex` reached `position` of `total` (below 0: no total).
  // Throws EProgressTerminate when the operator has cancelled.
  void ShowProgress(int stepIndex, long long position, long long total);
  // Switches the button to "Готово" and returns when the window is closed.
  void WaitDone();

  bool IsDone() const { return done_; }
  QLabel* CountLabel() const { return countLabel_; }
  QLabel* DateTimeLabel() const { return dateTimeLabel_; }
  QPushButton* CloseBtn() const { return closeBtn_; }
  QLabel* StepLabel(int i) const;
  // The check mark of a finished step, or nullptr.
  QLabel* CheckMark(int i) const;
  QScrollArea* StepArea() const { return stepArea_; }
  const ProgressGauge& Gauge() const { return gauge_; }
  // How often the bar was redrawn.
  int GaugeRedraws() const { return gaugeRedraws_; }
  TGradientCaption* Caption() const { return caption_; }

  // Tests replace the clock (milliseconds, any origin).
  using Clock = std::function<qint64()>;
  static void SetClock(Clock clock);

 signals:
  void hidden();

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Build(const QString& caption, const std::vector<std::string>& steps);
  void SetDoneForm();
  void ReleaseMainWindow();
  void ShowCounter();

  struct Step {
    std::string text;
    QLabel* label = nullptr;
    QLabel* check = nullptr;
  };
  class GaugeBar;

  TGradientCaption* caption_ = nullptr;
  QScrollArea* stepArea_ = nullptr;
  QWidget* steps_ = nullptr;
  QLabel* modelCheck_ = nullptr;
  GaugeBar* bar_ = nullptr;
  QLabel* countLabel_ = nullptr;
  QLabel* dateTimeLabel_ = nullptr;
  QPushButton* closeBtn_ = nullptr;
  std::vector<Step> stepList_;
  int currentStep_ = -1;
  qint64 startMs_ = 0;
  qint64 lastPassMs_ = -1;  // when messages last went through; -1 before the first report
  long long position_ = 0;
  long long total_ = 0;
  bool counterPending_ = false;  // the label does not show the last report yet
  bool done_ = false;
  QPointer<QWidget> disabledMain_;
  FocusReturn focusBack_;  // the control that had the focus before the window
  ProgressGauge gauge_;
  int gaugeRedraws_ = 0;
};

}  // namespace drs
