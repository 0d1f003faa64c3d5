#include "support/ui/AppWindow.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <algorithm>

namespace drs {

namespace {
QPointer<QWidget>& Registered() {
  static QPointer<QWidget> window;
  return window;
}
}  // namespace

void SetAppMainWindow(QWidget* window) { Registered() = window; }

QWidget* AppMainWindow() {
  if (Registered()) return Registered();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMainWindow*>(w)) return w;
  }
  return nullptr;
}

void PlaceBesideAppWindow(QWidget* window) {
  QWidget* main = AppMainWindow();
  if (!main || main == window || !main->isVisible()) return;
  const QRect m = main->frameGeometry();
  const QRect avail = main->screen()->availableGeometry();
  const QSize size = window->frameGeometry().size();
  int x = m.right() + 1;
  if (x + size.width() > avail.right() + 1) x = m.left() - size.width();
  if (x < avail.left()) x = std::max(avail.left(), avail.right() + 1 - size.width());
  const int y = std::clamp(m.top(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - size.height()));
  window->move(x, y);
}

}  // namespace drs
