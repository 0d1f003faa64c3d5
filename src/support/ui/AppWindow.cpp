#include "support/ui/AppWindow.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>

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

}  // namespace drs
