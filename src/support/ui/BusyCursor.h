// The busy cursor over a window while a handler works without a progress
// window of its own (waiting for a table that another program holds, say).
// Other windows, the message dialogs and the progress window among them,
// keep their own cursors, so an answer is still asked with the arrow.
#pragma once

#include <QPointer>
#include <QWidget>

namespace drs {

class BusyCursor {
 public:
  explicit BusyCursor(QWidget* window);
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  QPointer<QWidget> window_;
  bool hadCursor_;
  QCursor cursor_;
};

}  // namespace drs
