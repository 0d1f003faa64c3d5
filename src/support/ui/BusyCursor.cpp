#include "support/ui/BusyCursor.h"

namespace drs {

BusyCursor::BusyCursor(QWidget* window)
    : window_(window), hadCursor_(window->testAttribute(Qt::WA_SetCursor)), cursor_(window->cursor()) {
  window->setCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
  if (!window_) return;
  if (hadCursor_)
    window_->setCursor(cursor_);
  else
    window_->unsetCursor();
}

}  // namespace drs
