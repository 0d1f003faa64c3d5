#include "support/ui/TGradientCaption.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QWindowStateChangeEvent>

#include "support/ui/AppWindow.h"

namespace drs {

TGradientCaption::TGradientCaption(QWidget* window, QWidget* parent) : QWidget(parent), window_(window) {
  setObjectName("GradientCaption");
  setFixedHeight(kHeight);
  if (window_) window_->installEventFilter(this);
}

void TGradientCaption::SetCaption(const QString& caption) {
  caption_ = caption;
  if (window_) window_->setWindowTitle(caption);
  update();
}

void TGradientCaption::SetStartColor(const QColor& color) {
  start_ = color;
  update();
}

void TGradientCaption::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient g(0, 0, width(), 0);
  g.setColorAt(0, start_);
  g.setColorAt(1, end_);
  p.fillRect(rect(), g);
  QFont f = font();
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, caption_);
}

bool TGradientCaption::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (watched == window_ && window_->isMinimized() && !(change->oldState() & Qt::WindowMinimized)) {
      MinimiseApplication();
    } else if (watched == heldMain_ && !heldMain_->isMinimized() &&
               (change->oldState() & Qt::WindowMinimized)) {
      ApplicationRestored();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TGradientCaption::MinimiseApplication() {
  QWidget* main = AppMainWindow();
  if (!main || main == window_) return;
  if (!heldMain_) {
    heldMain_ = main;
    main->installEventFilter(this);  // restore notifications are chained by Qt's filter list
  }
  main->setWindowState(main->windowState() | Qt::WindowMinimized);
}

void TGradientCaption::ApplicationRestored() {
  if (heldMain_) heldMain_->removeEventFilter(this);
  heldMain_ = nullptr;
  if (!window_) return;
  window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
  window_->show();
  window_->raise();
  window_->activateWindow();
}

}  // namespace drs
