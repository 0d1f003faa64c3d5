#include "support/ui/FocusReturn.h"

#include <QApplication>

namespace drs {

FocusReturn::FocusReturn() { Record(); }

FocusReturn::~FocusReturn() { Restore(); }

void FocusReturn::Record() { widget_ = QApplication::focusWidget(); }

void FocusReturn::Restore() {
  QWidget* w = widget_;
  widget_ = nullptr;
  if (!w || !w->isVisible() || !w->isEnabled() || !w->window()->isEnabled()) return;
  w->window()->activateWindow();
  w->setFocus(Qt::ActiveWindowFocusReason);
}

}  // namespace drs
