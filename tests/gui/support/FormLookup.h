// Finding a window's controls by name, and the bundled example folder, for
// the main window tests.
#pragma once

#include <QString>
#include <QWidget>

#include "main/ui/TStatusBar.h"

namespace drs::test {

inline QString Examples() { return QStringLiteral(DRS_SOURCE_DIR "/examples"); }

// The named child control; a missing one ends the test run.
template <typename T>
T* Child(QWidget* form, const char* name) {
  T* child = form->findChild<T*>(QString::fromLatin1(name));
  if (!child) qFatal("no control %s", name);
  return child;
}

// The text of one panel of the named status bar.
inline QString Panel(QWidget* form, const char* bar, int panel) {
  return Child<TStatusBar>(form, bar)->PanelText(panel);
}

}  // namespace drs::test
