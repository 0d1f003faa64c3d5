#include "support/ui/AppWindow.h"

#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace drs {

namespace {
QPointer<QWidget>& Registered() {
  static QPointer<QWidget> window;
  return window;
}

// The frame as the window system tells it now (Qt's own copy in the
// widget may lag behind the window manager's reparenting).
QMargins OwnFrame(const QWidget* window) {
  if (!window->testAttribute(Qt::WA_WState_Created) || !window->windowHandle()) return {};
  return window->windowHandle()->frameMargins();
}

bool Framed(const QWidget* window) { return !OwnFrame(window).isNull(); }

// The place the window takes with its frame, framed or not yet.
QRect FrameRect(const QWidget* window) { return window->geometry().marginsAdded(WindowFrame(window)); }

long long Overlap(const QRect& a, const QRect& b) {
  const QRect common = a.intersected(b);
  return common.isEmpty() ? 0 : static_cast<long long>(common.width()) * common.height();
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

QMargins WindowFrame(const QWidget* window) {
  if (Framed(window)) return OwnFrame(window);
  const QWidget* main = AppMainWindow();
  if (main && main != window && main->isVisible() && Framed(main)) return OwnFrame(main);
  return {};
}

void MoveWindowFrame(QWidget* window, QPoint framePos) {
  // Before the native window exists, and once it has a frame, Qt places the
  // frame itself; in between it would place the inside corner there.
  if (!window->testAttribute(Qt::WA_WState_Created) || Framed(window)) {
    window->move(framePos);
    return;
  }
  const QMargins frame = WindowFrame(window);
  window->move(framePos + QPoint(frame.left(), frame.top()));
}

namespace {
// The program's shown windows other than `window` and the main window.
std::vector<const QWidget*> OtherWindows(const QWidget* window, const QWidget* main) {
  std::vector<const QWidget*> others;
  for (const QWidget* w : QApplication::topLevelWidgets()) {
    const Qt::WindowType type = w->windowType();
    if (w == window || w == main || !w->isVisible() || (type != Qt::Window && type != Qt::Dialog)) continue;
    others.push_back(w);
  }
  return others;
}
}  // namespace

bool CoversAppWindow(const QWidget* window) {
  const QRect place = FrameRect(window);
  const QWidget* main = AppMainWindow();
  if (main && main != window && main->isVisible() && place.intersects(FrameRect(main))) return true;
  for (const QWidget* other : OtherWindows(window, main))
    if (place.intersects(FrameRect(other))) return true;
  return false;
}

QWidget* AskingWindow() {
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) return modal;
  QWidget* active = QApplication::activeWindow();
  if (active && active->isVisible() &&
      (active->windowType() == Qt::Window || active->windowType() == Qt::Dialog))
    return active;
  return AppMainWindow();
}

void PlaceBesideAppWindow(QWidget* window) {
  QWidget* main = AppMainWindow();
  if (!main || main == window || !main->isVisible()) return;
  const QRect m = FrameRect(main);
  const QRect avail = main->screen()->availableGeometry();
  const QSize size = FrameRect(window).size();
  const int w = std::min(size.width(), avail.width());
  const int h = std::min(size.height(), avail.height());
  auto onScreen = [&](int x, int y) {
    return QRect(std::clamp(x, avail.left(), avail.right() + 1 - w),
                 std::clamp(y, avail.top(), avail.bottom() + 1 - h), w, h);
  };
  const QRect places[] = {
      onScreen(m.right() + 1, m.top()),    // right
      onScreen(m.left() - w, m.top()),     // left
      onScreen(m.left(), m.bottom() + 1),  // below
      onScreen(m.left(), m.top() - h),     // above
  };
  std::vector<QRect> others;
  for (const QWidget* other : OtherWindows(window, main)) others.push_back(FrameRect(other));
  const QRect* best = nullptr;
  std::pair<long long, long long> bestCost;
  for (const QRect& place : places) {
    std::pair<long long, long long> cost{Overlap(place, m), 0};
    for (const QRect& other : others) cost.second += Overlap(place, other);
    if (!best || cost < bestCost) best = &place, bestCost = cost;
  }
  MoveWindowFrame(window, best->topLeft());
}

}  // namespace drs
