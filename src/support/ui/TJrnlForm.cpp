#include "support/ui/TJrnlForm.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "support/ui/AppWindow.h"
#include "support/ui/GeneralError.h"
#include "support/ui/TGradientCaption.h"
#include "support/ui/TJournal.h"
#include "support/ui/WindowStore.h"

namespace drs {

namespace {
QPointer<TJrnlForm>& Current() {
  static QPointer<TJrnlForm> form;
  return form;
}
const char kRule[] = "---------------------------";
}  // namespace

TJrnlForm* TJrnlForm::Instance() { return Current(); }

TJrnlForm::TJrnlForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("JrnlForm");
  // No title-bar buttons at all: the window is closed by its own button.
  setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  // Lines arrive while the operator works elsewhere: the keys stay there.
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  caption_ = new TGradientCaption(this, this);
  caption_->SetStartColor(QColor(0, 0, 255));
  caption_->SetCaption(QStringLiteral("Журнал"));
  layout->addWidget(caption_);

  auto* strip = new QWidget(this);
  strip->setObjectName("ButtonPanel");
  strip->setFixedHeight(29);
  auto* stripLayout = new QHBoxLayout(strip);
  stripLayout->setContentsMargins(2, 1, 2, 1);
  stripLayout->setSpacing(2);
  auto make = [&](const char* name, const QString& text, QStyle::StandardPixmap icon) {
    auto* b = new QPushButton(style()->standardIcon(icon), text, strip);
    b->setObjectName(name);
    stripLayout->addWidget(b);
    return b;
  };
  activeButton_ = make("ActiveButton", QStringLiteral("Активировать"), QStyle::SP_MediaPlay);
  unActiveButton_ = make("UnActiveButton", QStringLiteral("Деактивировать"), QStyle::SP_MediaPause);
  clearBtn_ = make("ClearBtn", QStringLiteral("Очистить"), QStyle::SP_DialogResetButton);
  closeBtn_ = make("CloseBtn", QStringLiteral("Закрыть"), QStyle::SP_DialogCloseButton);
  stripLayout->addStretch(1);
  layout->addWidget(strip);

  journal_ = new TJournal(this);
  journal_->setObjectName("Journal1");
  journal_->SetMaxLines(kMaxLines);
  layout->addWidget(journal_, 1);

  connect(activeButton_, &QPushButton::clicked, this, Guarded([this] { journal_->SetActive(true); }));
  connect(unActiveButton_, &QPushButton::clicked, this, Guarded([this] { journal_->SetActive(false); }));
  connect(clearBtn_, &QPushButton::clicked, this, Guarded([this] { journal_->Clear(); }));
  connect(closeBtn_, &QPushButton::clicked, this, [this] { hide(); });

  resize(kDesignWidth, kDesignHeight + TGradientCaption::kHeight);
  store_ = std::make_unique<WindowStore>(this, "TJrnlForm");
  Current() = this;
}

TJrnlForm::~TJrnlForm() = default;

void TJrnlForm::ShowList(const std::string& heading, const std::vector<std::string>& items, bool showFirst) {
  if (showFirst) show();
  journal_->Clear();
  if (!showFirst) show();
  raise();
  journal_->SetActive(true);
  journal_->AddLine(heading);
  journal_->AddLine(kRule);
  for (const std::string& item : items) journal_->AddLine(item);
  journal_->AddLine(kRule);
}

void TJrnlForm::showEvent(QShowEvent* event) {
  // The store has restored a kept place by now; without one, or where that
  // place would cover the main window or another of the program's windows,
  // the journal goes beside the main window.
  if (!event->spontaneous() && (!store_->HasPlacement() || CoversAppWindow(this))) PlaceBesideAppWindow(this);
  QWidget::showEvent(event);
}

void TJrnlForm::WidenToLines() {
  int longest = 0;
  for (const std::string& line : journal_->Lines())
    longest = std::max(longest, journal_->fontMetrics().horizontalAdvance(QString::fromStdString(line)));
  const int margins = 2 * int(journal_->document()->documentMargin()) + 4;
  const int missing = longest + margins - journal_->viewport()->width();
  if (missing <= 0) return;
  int width = this->width() + missing;
  const QMargins frame = WindowFrame(this);
  if (QScreen* s = screen())
    width = std::min(width, s->availableGeometry().width() - frame.left() - frame.right());
  resize(width, height());
  if (QScreen* s = screen()) {
    const QRect avail = s->availableGeometry();
    if (!avail.contains(geometry().marginsAdded(frame)) || CoversAppWindow(this)) PlaceBesideAppWindow(this);
    // Without a main window to stand beside, at least on the screen.
    const QRect place = geometry().marginsAdded(frame);
    if (place.right() > avail.right())
      MoveWindowFrame(this, QPoint(std::max(avail.left(), avail.right() + 1 - place.width()), place.top()));
  }
}

}  // namespace drs
