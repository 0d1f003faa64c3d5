// The application's main window, as the support windows need it: the message
// dialog's owner, the window the progress window disables, the window that is
// minimised with a dialog.
#pragma once

class QWidget;

namespace drs {

// The main window registers itself when it is created (and nullptr when it
// goes away). Without a registration the first top-level QMainWindow counts.
void SetAppMainWindow(QWidget* window);
QWidget* AppMainWindow();

// Puts a window that has no stored place beside the main window (right of
// it, else left of it, else at the screen's right edge), on the screen.
void PlaceBesideAppWindow(QWidget* window);

}  // namespace drs
