// The application's main window, as the support windows need it: the message
// dialog's owner, the window the progress window disables, the window that is
// minimised with a dialog.
#pragma once

#include <QMargins>
#include <QPoint>

class QWidget;

namespace drs {

// The main window registers itself when it is created (and nullptr when it
// goes away). Without a registration the first top-level QMainWindow counts.
void SetAppMainWindow(QWidget* window);
QWidget* AppMainWindow();

// Puts a window beside the main window, on the screen: right of it, else
// left of it, else below or above it, covering none of the program's other
// shown windows either; where no such place fits, where it covers least of
// the main window, then of the others.
void PlaceBesideAppWindow(QWidget* window);
// True when the window covers part of the main window or of another shown
// window of the program.
bool CoversAppWindow(const QWidget* window);
// The window that asks the operator something now: the modal window, else
// the active one, else the main window.
QWidget* AskingWindow();

// The window manager's frame around a window: the window's own once it has
// been framed, else that of the framed main window (one window manager draws
// the same frame), else none.
QMargins WindowFrame(const QWidget* window);
// Puts the window's frame (its title bar's corner) at `framePos`, also for a
// window that the window manager has not framed yet: Qt takes a move of such
// a window for the inside corner, which would leave it a frame off.
void MoveWindowFrame(QWidget* window, QPoint framePos);

}  // namespace drs
