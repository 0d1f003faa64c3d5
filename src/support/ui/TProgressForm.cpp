#include "support/ui/TProgressForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "support/ui/AppWindow.h"
#include "support/ui/TGradientCaption.h"
#include "utils/Utils.h"

namespace drs {

const char* const TProgressForm::kDesignStepText = "Выполнени процесcа";

namespace {
int& WindowCount() {
  static int count = 0;
  return count;
}
TProgressForm::Clock& CurrentClock() {
  static TProgressForm::Clock clock;
  return clock;
}
qint64 NowMs() { return CurrentClock() ? CurrentClock()() : QDateTime::currentMSecsSinceEpoch(); }

constexpr int kStepLeft = 52, kStepTop = 11, kCheckLeft = 24, kCheckTop = 9;
}  // namespace

// The bar: filled in the highlight colour with its percentage on it.
class TProgressForm::GaugeBar : public QWidget {
 public:
  GaugeBar(TProgressForm* form, QWidget* parent) : QWidget(parent), form_(form) { setObjectName("Gauge"); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    const ProgressGauge& g = form_->gauge_;
    if (g.Maximum() > 0) {
      int w = static_cast<int>(static_cast<long double>(width()) * g.Progress() / g.Maximum());
      p.fillRect(QRect(0, 0, w, height()), palette().color(QPalette::Highlight));
    }
    p.setPen(palette().color(QPalette::Text));
    p.drawText(rect(), Qt::AlignCenter, QString::number(g.Percent()) + " %");
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }

 private:
  TProgressForm* form_;
};

void TProgressForm::SetClock(Clock clock) { CurrentClock() = std::move(clock); }
int TProgressForm::Count() { return WindowCount(); }

TProgressForm::TProgressForm(QWidget* owner, const QString& caption, const std::vector<std::string>& steps)
    : QDialog(nullptr) {
  // Not a child of the owner: the owner is disabled while this window runs.
  Q_UNUSED(owner);
  Build(caption, steps);
}

TProgressForm::TProgressForm(QWidget* owner, const QString& caption, const std::string& stepText)
    : TProgressForm(owner, caption, std::vector<std::string>{stepText}) {}

void TProgressForm::Build(const QString& caption, const std::vector<std::string>& steps) {
  ++WindowCount();
  setObjectName("ProgressForm");
  setModal(false);
  setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  caption_ = new TGradientCaption(this, this);
  caption_->SetStartColor(QColor(0, 128, 0));
  caption_->SetCaption(QStringLiteral("Процесс..."));
  layout->addWidget(caption_);

  stepArea_ = new QScrollArea(this);
  stepArea_->setObjectName("StepArea");
  stepArea_->setFrameShape(QFrame::NoFrame);
  stepArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  stepArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  stepArea_->setWidgetResizable(false);
  // The steps take what the fixed window leaves: the scroll area's own
  // minimum (its scroll bar's) would push the button strip out of the window.
  stepArea_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
  steps_ = new QWidget;
  layout->addWidget(stepArea_, 1);

  modelCheck_ = new QLabel(steps_);
  modelCheck_->setObjectName("CheckImage");
  modelCheck_->setGeometry(kCheckLeft, kCheckTop, 13, 15);
  modelCheck_->setPixmap(style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(13, 13));
  modelCheck_->hide();

  const std::vector<std::string> list = steps.empty() ? std::vector<std::string>{kDesignStepText} : steps;
  for (size_t i = 0; i < list.size(); ++i) {
    Step s;
    s.text = list[i];
    s.label = new QLabel(QString::fromStdString(s.text), steps_);
    s.label->setObjectName(i == 0 ? QStringLiteral("StepLabel") : QStringLiteral("StepLabel%1").arg(i));
    s.label->move(kStepLeft, kStepTop + 20 * static_cast<int>(i));
    s.label->adjustSize();
    stepList_.push_back(s);
  }
  // The last label ends 6 + 20 × n pixels down: one step fits the design exactly.
  int stepsHeight = 6 + 20 * static_cast<int>(list.size());
  steps_->resize(kDesignWidth - 20, stepsHeight);
  stepArea_->setWidget(steps_);

  auto* strip = new QWidget(this);
  strip->setObjectName("BottomPanel");
  strip->setFixedHeight(kBottomStrip);
  layout->addWidget(strip);
  bar_ = new GaugeBar(this, strip);
  bar_->setGeometry(16, 16, 321, 25);
  countLabel_ = new QLabel(QStringLiteral("(0/0)"), strip);
  countLabel_->setObjectName("CountLabel");
  countLabel_->setAlignment(Qt::AlignRight | Qt::AlignTop);
  countLabel_->setGeometry(337 - 150, 0, 150, 15);
  auto* timeCaption = new QLabel(QStringLiteral("Время выполнения:"), strip);
  timeCaption->setObjectName("TimeLabel");
  timeCaption->move(16, 44);
  timeCaption->setToolTip(QStringLiteral("Текущее время"));
  dateTimeLabel_ = new QLabel(QStringLiteral("0 сек."), strip);
  dateTimeLabel_->setObjectName("DateTimeLabel");
  dateTimeLabel_->setGeometry(16, 60, 190, 15);
  dateTimeLabel_->setToolTip(QStringLiteral("Текущее время"));
  closeBtn_ = new QPushButton(QStringLiteral("Отмена"), strip);
  closeBtn_->setObjectName("CloseBtn");
  closeBtn_->setGeometry(212, 46, 77, 27);
  closeBtn_->setAutoDefault(false);
  connect(closeBtn_, &QPushButton::clicked, this, [this] { hide(); });
  closeBtn_->setFocus();

  int screenHeight = 768;
  if (QScreen* screen = QGuiApplication::primaryScreen()) screenHeight = screen->geometry().height();
  int height = ProgressWindowHeight(kDesignHeight + TGradientCaption::kHeight, static_cast<int>(list.size()),
                                    screenHeight);
  setFixedSize(kDesignWidth, height);
  if (!IsBlank(caption.toStdString())) caption_->SetCaption(caption);
}

TProgressForm::~TProgressForm() {
  if (isVisible()) hide();
  ReleaseMainWindow();
  --WindowCount();
}

QLabel* TProgressForm::StepLabel(int i) const {
  return i >= 0 && i < static_cast<int>(stepList_.size()) ? stepList_[static_cast<size_t>(i)].label : nullptr;
}

QLabel* TProgressForm::CheckMark(int i) const {
  return i >= 0 && i < static_cast<int>(stepList_.size()) ? stepList_[static_cast<size_t>(i)].check : nullptr;
}

void TProgressForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  QWidget* main = AppMainWindow();
  if (main && main != this && main->isEnabled() && !disabledMain_) {
    main->setEnabled(false);
    disabledMain_ = main;
  }
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect s = screen->geometry();
    move(s.x() + ProgressWindowOrigin(s.width(), width(), Count()),
         s.y() + ProgressWindowOrigin(s.height(), height(), Count()));
  }
  startMs_ = NowMs();
  lastPassMs_ = -1;
  // The window takes the focus from the main window it disables, so Enter
  // reaches its button.
  activateWindow();
  raise();
  closeBtn_->setFocus();
}

void TProgressForm::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (event->spontaneous()) return;
  ReleaseMainWindow();
  focusBack_.Restore();
  emit hidden();
}

void TProgressForm::ReleaseMainWindow() {
  if (disabledMain_) disabledMain_->setEnabled(true);
  disabledMain_ = nullptr;
}

void TProgressForm::closeEvent(QCloseEvent* event) {
  // The close box only hides, and only while the button may be pressed.
  event->ignore();
  if (closeBtn_->isEnabled()) hide();
}

void TProgressForm::reject() {
  // Esc presses the button in its cancel form only.
  if (!done_ && closeBtn_->isEnabled()) closeBtn_->click();
}

void TProgressForm::SetDoneForm() {
  done_ = true;
  closeBtn_->setText(QStringLiteral("Готово"));
  closeBtn_->setDefault(true);
  if (isVisible()) {
    activateWindow();
    closeBtn_->setFocus();
  }
}

void TProgressForm::ShowProgress(int stepIndex, long long position, long long total) {
  position_ = position;
  total_ = total;
  counterPending_ = true;
  if (gauge_.Set(position, total)) {
    bar_->repaint();
    ++gaugeRedraws_;
  }
  if (stepIndex < 0 || stepIndex >= static_cast<int>(stepList_.size())) {
    ShowCounter();
    return;
  }
  Step& step = stepList_[static_cast<size_t>(stepIndex)];
  if (!isVisible()) {
    ShowCounter();
    throw EProgressTerminate(step.text, ProgressCounterText(position, total), position);
  }
  bool due = position == total;
  if (stepIndex != currentStep_) {
    QFont f = step.label->font();
    f.setBold(true);
    step.label->setFont(f);
    step.label->adjustSize();
    currentStep_ = stepIndex;
    due = true;
  }
  if (position == total) {
    if (!step.check) {
      step.check = new QLabel(steps_);
      step.check->setObjectName(QStringLiteral("CheckImage%1").arg(stepIndex));
      step.check->setGeometry(modelCheck_->x(), modelCheck_->y() + 20 * stepIndex, modelCheck_->width(),
                              modelCheck_->height());
      step.check->setPixmap(modelCheck_->pixmap());
    }
    step.check->show();
    QFont f = step.label->font();
    f.setBold(false);
    step.label->setFont(f);
    if (stepIndex == static_cast<int>(stepList_.size()) - 1) SetDoneForm();
  }
  // Pending messages go through by time, not at every report: a repaint and
  // a round trip to the display per deal would cost more than the deal.
  const qint64 now = NowMs();
  if (!due && lastPassMs_ >= 0 && now - lastPassMs_ >= 0 && now - lastPassMs_ < kMessagePassMs) return;
  ShowCounter();
  QCoreApplication::processEvents();
  lastPassMs_ = NowMs();
  dateTimeLabel_->setText(QString::fromStdString(ElapsedTimeText(lastPassMs_ - startMs_)));
}

void TProgressForm::ShowCounter() {
  counterPending_ = false;
  countLabel_->setText(QString::fromStdString(ProgressCounterText(position_, total_)));
}

void TProgressForm::WaitDone() {
  if (counterPending_) ShowCounter();  // the last report's counter, exactly
  closeBtn_->setEnabled(true);
  SetDoneForm();
  if (!isVisible()) return;
  QEventLoop loop;
  connect(this, &TProgressForm::hidden, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace drs
