// The window side of the string grid procedures: a table view over a core
// StringGrid that finds the row under the mouse, draws the drop mark, lets
// the operator drag a row to another place and moves the current row with
// Ctrl+Up / Ctrl+Down.
//
// The drop mark is an overlay kept by the view and painted over the cells
// after they are drawn, as a dotted outline in the inverting raster mode;
// drawing a mark twice on one row removes it, as an inverting outline does.
#pragma once

#include <QPoint>
#include <QTableView>
#include <vector>

#include "format/StrGdPrc.h"
#include "format/ui/StringGridModel.h"

namespace drs {

class StringGridView : public QTableView {
  Q_OBJECT

 public:
  StringGridView(StringGridModel* model, QWidget* parent = nullptr);

  StringGridModel* GridModel() const { return model_; }
  StringGrid& Grid() const { return model_->Grid(); }

  // Shows the core grid again after it was changed and puts its current cell
  // into the view.
  void Refresh();
  void SyncCurrentFromGrid();
  // Typing into the cells on or off.
  void SetTypingAllowed(bool allowed);
  // Writes an open in-place editor's text into the grid and closes it.
  void CommitEditor();
  bool TypingAllowed() const { return typing_; }

  // The grid row under a point of the viewport: 0 over the title row, -1
  // on no cell.
  int HitRow(const QPoint& viewportPos) const;
  // Draws the drop mark on a row, or erases it when it is there.
  void DrawRowDropMark(int row);
  const std::vector<int>& DropMarks() const { return marks_; }
  // The outline of the mark: cells 0 to 3 of the row, in viewport pixels.
  QRect DropMarkRect(int row) const;

  bool Dragging() const { return dragging_; }
  bool JustFocused() const { return justFocused_; }

 signals:
  // The current cell changed (grid column and row).
  void currentCellChanged(int col, int row);
  // The operator typed into a cell (every change of the in-place editor).
  void cellTextEdited();
  void focusReceived();
  // A mouse press moved the current cell (or tried to).
  void gridClicked();
  // A row was moved by a drop or from the keyboard.
  void rowMoved(int from, int to);

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // No jump to a row by its first letters: a typed key never moves the row.
  void keyboardSearch(const QString&) override {}
  void paintEvent(QPaintEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool DragOver(const QPoint& viewportPos, DragState state);
  void EndDrag();
  bool OverGrid(const QPoint& viewportPos) const;

  StringGridModel* model_;
  std::vector<int> marks_;
  bool typing_ = false;
  bool syncing_ = false;
  bool justFocused_ = false;
  bool armed_ = false;     // left button pressed, a drag may begin
  bool dragging_ = false;  // a row is being dragged
  bool inside_ = false;    // the dragged row is over the grid
  bool accepted_ = false;  // the last drag test's answer
  QPoint pressPos_;
};

}  // namespace drs
