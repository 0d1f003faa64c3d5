// Gives the keyboard focus back to the control that had it before a dialog
// or a window took it: recorded when made, given back by Restore (or when it
// goes out of scope), provided the control can still take it.
#pragma once

#include <QPointer>
#include <QWidget>

namespace drs {

class FocusReturn {
 public:
  FocusReturn();
  ~FocusReturn();
  FocusReturn(const FocusReturn&) = delete;
  FocusReturn& operator=(const FocusReturn&) = delete;

  // Records the control that has the focus now.
  void Record();
  void Restore();

 private:
  QPointer<QWidget> widget_;
};

}  // namespace drs
