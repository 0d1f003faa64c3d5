// A panel docked to one side of its parent that the operator resizes by
// dragging its free edge and collapses to a thin strip (or brings back to its
// last size) by double-clicking it.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QStringList>
#include <vector>

#include <QScrollArea>

namespace drs {

class TDynamicPanel;

// Resizing settings, owned by their panel.
class TSizable {
 public:
  explicit TSizable(TDynamicPanel* panel) : panel_(panel) {}
  int SizeMin() const { return sizeMin_; }
  // Raises the panel's width and height to the new minimum where smaller.
  void SetSizeMin(int value);
  bool DblClick() const { return dblClick_; }
  void SetDblClick(bool on) { dblClick_ = on; }
  bool Resizable() const { return resizable_; }
  void SetResizable(bool on) { resizable_ = on; }

 private:
  TDynamicPanel* panel_;
  int sizeMin_ = 12;
  bool dblClick_ = true;
  bool resizable_ = true;
};

class TDynamicPanel : public QFrame {
  Q_OBJECT

 public:
  // The side of the parent the panel is docked to. None and Client panels
  // have size 0 and cannot collapse.
  enum class Dock { None, Top, Bottom, Left, Right, Client };
  enum class Bevel { None, Lowered, Raised, Space };
  static constexpr int kEdge = 3;
  static constexpr int kMaxSteps = 12;

  explicit TDynamicPanel(QWidget* parent = nullptr, Dock dock = Dock::None);
  ~TDynamicPanel() override;

  Dock Align() const { return dock_; }
  void SetAlign(Dock dock);
  TSizable& Sizable() { return sizable_; }
  const TSizable& Sizable() const { return sizable_; }

  // The height of a top or bottom panel, the width of a left or right one.
  int Size() const;
  bool SizeMinimized() const;
  void SetSizeMinimized(bool minimized);
  int SizeRestore() const;
  void SetSizeRestore(int value);
  // Raised to SizeMin; the value is taken as an unsigned 16-bit number.
  void SetWidth(int value);
  void SetHeight(int value);

  QScrollArea* Scrolling() const { return scroll_; }
  // A scroll box whose parent is not this panel is ignored.
  void SetScrolling(QScrollArea* box);

  // Entries "Name=width" / "Name=left" of controls anywhere inside the panel.
  QStringList Align_Controls() const { return alignControls_; }
  void SetAlign_Controls(const QStringList& entries);
  QStringList Right_Controls() const { return rightControls_; }
  void SetRight_Controls(const QStringList& entries);

  Bevel BevelOuter() const { return bevelOuter_; }
  Bevel BevelInner() const { return bevelInner_; }
  void SetBevelOuter(Bevel b);
  void SetBevelInner(Bevel b);

  // End of building: records the visible children, shows or hides them
  // after SizeMinimized, ties the list entries to their controls. Runs by
  // itself when the panel is first shown.
  void FinishLoading();
  bool Loading() const { return loading_; }
  bool Dragging() const { return dragging_; }
  bool OverEdge() const { return overEdge_; }

 signals:
  // After a drag changed the size of an expanded panel.
  void sizeChange();
  // The collapsed state changed.
  void miniChange();
  // Every size applied, also each step of a gradual change.
  void sizeApplied(int size);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TSizable;
  struct TCtrlSize {
    QPointer<QWidget> control;
    QRect geometry;
  };
  struct Tied {
    QPointer<QWidget> control;
    bool right;                    // a Right_Controls entry
    const QObject* raw = nullptr;  // to recognise it when it is destroyed
  };

  bool Docked() const {
    return dock_ == Dock::Top || dock_ == Dock::Bottom || dock_ == Dock::Left || dock_ == Dock::Right;
  }
  bool Vertical() const { return dock_ == Dock::Top || dock_ == Dock::Bottom; }
  void ApplySize(int size);
  void MoveGradually(int target);
  void SetSizeRaw(int size);
  void ShowChildren(bool show);
  void HandleMove(QWidget* under, const QPoint& pos, const QPoint& global, bool scrollBox);
  void HandlePress(const QPoint& global);
  void HandleRelease();
  void HandleDoubleClick();
  void SwapBevels();
  void TieEntries();
  void AdjustControls();
  void ControlGone(QObject* control);

  TSizable sizable_;
  Dock dock_;
  int restore_ = 0;
  bool designMinimized_ = false;
  std::vector<TCtrlSize> children_;
  bool childrenShown_ = true;
  bool overEdge_ = false;
  bool dragging_ = false;
  QPoint last_;  // global mouse position of the drag
  int dragStartSize_ = 0;
  bool pressCollapsed_ = false;
  int pressSize_ = 0;
  int refWidth_ = -1;
  bool loading_ = true;
  QPointer<QScrollArea> scroll_;
  QStringList alignControls_;
  QStringList rightControls_;
  std::vector<Tied> alignTied_;
  std::vector<Tied> rightTied_;
  Bevel bevelOuter_ = Bevel::Raised;
  Bevel bevelInner_ = Bevel::None;
};

}  // namespace drs
