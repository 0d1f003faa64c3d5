#include "support/ui/TDynamicPanel.h"

#include <qdrawutil.h>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>

#include "utils/NumberText.h"
#include "utils/Utils.h"

namespace drs {

void TSizable::SetSizeMin(int value) {
  sizeMin_ = value;
  if (panel_->width() < value) panel_->SetWidth(value);
  if (panel_->height() < value) panel_->SetHeight(value);
}

TDynamicPanel::TDynamicPanel(QWidget* parent, Dock dock) : QFrame(parent), sizable_(this), dock_(dock) {
  setMouseTracking(true);
  SetAlign(dock);
}

void TDynamicPanel::SetAlign(Dock dock) {
  dock_ = dock;
  // The children's layout leaves the free edge's zone to the panel, so the
  // whole zone can be grabbed.
  setContentsMargins(dock == Dock::Right ? kEdge : 0, dock == Dock::Bottom ? kEdge : 0,
                     dock == Dock::Left ? kEdge : 0, dock == Dock::Top ? kEdge : 0);
}

TDynamicPanel::~TDynamicPanel() {
  // The tied controls may outlive the entries; no more notifications.
  for (const Tied& t : alignTied_)
    if (t.control) disconnect(t.control, nullptr, this, nullptr);
  for (const Tied& t : rightTied_)
    if (t.control) disconnect(t.control, nullptr, this, nullptr);
  if (scroll_) disconnect(scroll_, nullptr, this, nullptr);
}

int TDynamicPanel::Size() const {
  if (!Docked()) return 0;
  return Vertical() ? height() : width();
}

bool TDynamicPanel::SizeMinimized() const { return Docked() && Size() == sizable_.SizeMin(); }

int TDynamicPanel::SizeRestore() const { return std::max(restore_, sizable_.SizeMin()); }

void TDynamicPanel::SetWidth(int value) {
  value = std::max(value & 0xFFFF, sizable_.SizeMin());
  if (dock_ == Dock::Left || dock_ == Dock::Right)
    setFixedWidth(value);
  else
    resize(value, height());
}

void TDynamicPanel::SetHeight(int value) {
  value = std::max(value & 0xFFFF, sizable_.SizeMin());
  if (Vertical())
    setFixedHeight(value);
  else
    resize(width(), value);
}

void TDynamicPanel::SetSizeRaw(int size) {
  if (Vertical())
    SetHeight(size);
  else
    SetWidth(size);
  emit sizeApplied(Size());
}

void TDynamicPanel::ApplySize(int size) {
  if (size > sizable_.SizeMin()) {
    if (!childrenShown_) ShowChildren(true);
    SetSizeRaw(size);
  } else {
    ShowChildren(false);
    SetSizeRaw(sizable_.SizeMin());
  }
}

void TDynamicPanel::MoveGradually(int target) {
  int current = Size();
  const int step = std::abs(target - current) / kMaxSteps + 1;
  while (current < target) {
    current = std::min(current + step, target);
    ApplySize(current);
  }
  while (current > target) {
    current = std::max(current - step, target);
    ApplySize(current);
  }
}

void TDynamicPanel::ShowChildren(bool show) {
  if (loading_) return;
  for (const TCtrlSize& c : children_)
    if (c.control) c.control->setVisible(show);
  childrenShown_ = show;
}

void TDynamicPanel::SetSizeMinimized(bool minimized) {
  designMinimized_ = minimized;
  if (!Docked()) return;
  const int min = sizable_.SizeMin();
  if (minimized && Size() != min) {
    restore_ = Size();
    if (loading_)
      ApplySize(min);
    else
      MoveGradually(min);
    emit miniChange();
  } else if (!minimized && Size() == min) {
    if (restore_ <= min) restore_ = min + 1;
    if (loading_)
      ApplySize(restore_);
    else
      MoveGradually(restore_);
    emit miniChange();
  }
  ShowChildren(!minimized);
}

void TDynamicPanel::SetSizeRestore(int value) {
  restore_ = std::max(value, sizable_.SizeMin());
  if (!SizeMinimized()) ApplySize(value);
}

void TDynamicPanel::SetScrolling(QScrollArea* box) {
  if (box && box->parentWidget() != this) return;
  if (scroll_) {
    scroll_->removeEventFilter(this);
    scroll_->viewport()->removeEventFilter(this);
    disconnect(scroll_, nullptr, this, nullptr);
  }
  scroll_ = box;
  if (!box) return;
  box->setFrameShape(QFrame::NoFrame);
  box->setGeometry(rect());
  box->setHorizontalScrollBarPolicy(Vertical() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  box->setVerticalScrollBarPolicy(dock_ == Dock::Left || dock_ == Dock::Right ? Qt::ScrollBarAsNeeded
                                                                              : Qt::ScrollBarAlwaysOff);
  box->setMouseTracking(true);
  box->viewport()->setMouseTracking(true);
  box->installEventFilter(this);
  box->viewport()->installEventFilter(this);
  connect(box, &QObject::destroyed, this, [this] { scroll_ = nullptr; });
}

void TDynamicPanel::SetAlign_Controls(const QStringList& entries) {
  alignControls_ = entries;
  if (!loading_) TieEntries();
}

void TDynamicPanel::SetRight_Controls(const QStringList& entries) {
  rightControls_ = entries;
  if (!loading_) TieEntries();
}

void TDynamicPanel::SetBevelOuter(Bevel b) {
  bevelOuter_ = b;
  update();
}

void TDynamicPanel::SetBevelInner(Bevel b) {
  bevelInner_ = b;
  update();
}

void TDynamicPanel::FinishLoading() {
  if (!loading_) return;
  children_.clear();
  for (QObject* o : children()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (w && !w->isWindow() && !w->isHidden()) children_.push_back({w, w->geometry()});
  }
  loading_ = false;
  ShowChildren(!designMinimized_);
  TieEntries();
  if (refWidth_ < 0) refWidth_ = width();
  if (width() != refWidth_) AdjustControls();
}

void TDynamicPanel::TieEntries() {
  auto tie = [this](const QStringList& entries, std::vector<Tied>& tied, bool right) {
    for (const Tied& t : tied)
      if (t.control) disconnect(t.control, nullptr, this, nullptr);
    tied.clear();
    for (const QString& entry : entries) {
      QString name = entry.section('=', 0, 0).trimmed();
      QWidget* control = name.isEmpty() ? nullptr : findChild<QWidget*>(name);
      tied.push_back({control, right, control});
      if (control)
        connect(control, &QObject::destroyed, this, &TDynamicPanel::ControlGone, Qt::UniqueConnection);
    }
  };
  tie(alignControls_, alignTied_, false);
  tie(rightControls_, rightTied_, true);
}

void TDynamicPanel::ControlGone(QObject* control) {
  auto drop = [control](QStringList& entries, std::vector<Tied>& tied) {
    for (size_t i = tied.size(); i-- > 0;) {
      if (tied[i].raw == control && i < static_cast<size_t>(entries.size())) {
        entries.removeAt(static_cast<qsizetype>(i));
        tied.erase(tied.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  };
  drop(alignControls_, alignTied_);
  drop(rightControls_, rightTied_);
}

void TDynamicPanel::AdjustControls() {
  if (loading_) return;
  const int d = width() - refWidth_;
  auto adjust = [d](QStringList& entries, std::vector<Tied>& tied) {
    for (size_t i = 0; i < tied.size() && i < static_cast<size_t>(entries.size()); ++i) {
      QWidget* c = tied[i].control;
      if (!c) continue;
      QString& entry = entries[static_cast<qsizetype>(i)];
      int eq = static_cast<int>(entry.indexOf('='));
      int number = 0;
      if (eq < 0 || !TryStrToInt(entry.mid(eq + 1).trimmed().toStdString(), number)) continue;
      const int current = tied[i].right ? c->x() : c->width();
      if (number >= 0 || current != 0) number = current;
      const int next = number + d;
      entry = entry.left(eq) + "=" + QString::number(next);
      if (tied[i].right)
        c->move(std::max(next, 0), c->y());
      else
        c->resize(std::max(next, 0), c->height());
    }
  };
  adjust(alignControls_, alignTied_);
  adjust(rightControls_, rightTied_);
  refWidth_ = width();
}

void TDynamicPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  if (scroll_) scroll_->setGeometry(rect());
  AdjustControls();
}

void TDynamicPanel::showEvent(QShowEvent* event) {
  QFrame::showEvent(event);
  FinishLoading();
}

// Mouse handling, shared by the panel and its scroll box.

void TDynamicPanel::HandleMove(QWidget* under, const QPoint& viewPos, const QPoint& global, bool scrollBox) {
  if (!sizable_.Resizable()) return;
  const int e = scrollBox ? kEdge - scroll_->y() : kEdge;
  const int min = sizable_.SizeMin();
  QPoint pos = viewPos;
  if (dragging_) {
    switch (dock_) {
      case Dock::Top:
        ApplySize(std::max(Size() + global.y() - last_.y(), min));
        last_.setY(global.y());
        break;
      case Dock::Bottom:
        // The panel's top moves with the edge: measure from the press.
        ApplySize(std::max(dragStartSize_ + last_.y() - global.y(), min));
        break;
      case Dock::Left:
        ApplySize(std::max(Size() + global.x() - last_.x(), min));
        last_.setX(global.x());
        break;
      case Dock::Right:
        ApplySize(std::max(dragStartSize_ + last_.x() - global.x(), min));
        break;
      default:
        break;
    }
    // Place the panel now, so the edge test below sees where the edge went
    // and a press right after the release starts the next drag.
    if (QWidget* p = parentWidget(); p && p->layout()) p->layout()->activate();
    pos = under->mapFromGlobal(global);
  }
  bool over = false;
  Qt::CursorShape shape = Qt::SizeVerCursor;
  switch (dock_) {
    case Dock::Top:
      over = pos.y() > under->height() - e - 1;
      break;
    case Dock::Bottom:
      over = pos.y() < e;
      break;
    case Dock::Left:
      shape = Qt::SizeHorCursor;
      over = pos.x() > under->width() - e - 1;
      break;
    case Dock::Right:
      shape = Qt::SizeHorCursor;
      over = pos.x() < e;
      break;
    default:
      break;
  }
  if (over)
    under->setCursor(shape);
  else
    under->unsetCursor();
  overEdge_ = under->cursor().shape() != Qt::ArrowCursor;
}

void TDynamicPanel::HandlePress(const QPoint& global) {
  if (overEdge_ && !dragging_) {
    dragging_ = true;
    last_ = global;
    dragStartSize_ = Size();
    SwapBevels();
  }
  pressCollapsed_ = SizeMinimized();
  pressSize_ = Size();
}

void TDynamicPanel::HandleRelease() {
  if (dragging_) {
    SwapBevels();
    dragging_ = false;
  }
  if (Size() > sizable_.SizeMin()) restore_ = Size();
  if (Size() != pressSize_ && !SizeMinimized()) emit sizeChange();
  if (SizeMinimized() != pressCollapsed_) emit miniChange();
  pressSize_ = Size();
  pressCollapsed_ = SizeMinimized();
}

void TDynamicPanel::HandleDoubleClick() {
  if (sizable_.DblClick() && !overEdge_) SetSizeMinimized(!SizeMinimized());
}

void TDynamicPanel::SwapBevels() {
  auto swap = [](Bevel b) {
    return b == Bevel::Lowered ? Bevel::Raised : b == Bevel::Raised ? Bevel::Lowered : b;
  };
  bevelOuter_ = swap(bevelOuter_);
  bevelInner_ = swap(bevelInner_);
  update();
}

void TDynamicPanel::mouseMoveEvent(QMouseEvent* event) {
  HandleMove(this, event->position().toPoint(), event->globalPosition().toPoint(), false);
  QFrame::mouseMoveEvent(event);
}

void TDynamicPanel::mousePressEvent(QMouseEvent* event) {
  HandlePress(event->globalPosition().toPoint());
  event->accept();
}

void TDynamicPanel::mouseReleaseEvent(QMouseEvent* event) {
  HandleRelease();
  event->accept();
}

void TDynamicPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  // Double click first, then the press it also is.
  HandleDoubleClick();
  HandlePress(event->globalPosition().toPoint());
  event->accept();
}

bool TDynamicPanel::eventFilter(QObject* watched, QEvent* event) {
  if (scroll_ && (watched == scroll_ || watched == scroll_->viewport())) {
    auto* w = static_cast<QWidget*>(watched);
    switch (event->type()) {
      case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(event);
        QPoint pos = w->mapTo(scroll_, m->position().toPoint());
        HandleMove(scroll_, pos, m->globalPosition().toPoint(), true);
        if (w != scroll_) w->setCursor(scroll_->cursor());
        break;
      }
      case QEvent::MouseButtonPress:
        HandlePress(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        break;
      case QEvent::MouseButtonRelease:
        HandleRelease();
        break;
      case QEvent::MouseButtonDblClick:
        HandleDoubleClick();
        HandlePress(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        break;
      default:
        break;
    }
  }
  return QFrame::eventFilter(watched, event);
}

void TDynamicPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  QRect r = rect();
  auto draw = [&](Bevel b) {
    if (b == Bevel::None) return;
    if (b != Bevel::Space) qDrawShadeRect(&p, r, palette(), b == Bevel::Lowered, 1);
    r.adjust(1, 1, -1, -1);
  };
  draw(bevelOuter_);
  draw(bevelInner_);
}

}  // namespace drs
