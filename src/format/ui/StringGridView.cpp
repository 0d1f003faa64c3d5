#include "format/ui/StringGridView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace drs {

namespace {

// Reports every change the in-place editor makes, not only the final one.
class GridCellDelegate : public QStyledItemDelegate {
 public:
  GridCellDelegate(StringGridView* view) : QStyledItemDelegate(view), view_(view) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      QObject::connect(line, &QLineEdit::textEdited, view_, [view = view_] { emit view->cellTextEdited(); });
    }
    return editor;
  }

 private:
  StringGridView* view_;
};

}  // namespace

StringGridView::StringGridView(StringGridModel* model, QWidget* parent) : QTableView(parent), model_(model) {
  setModel(model_);
  setItemDelegate(new GridCellDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setDragEnabled(false);
  setAcceptDrops(true);
  setTabKeyNavigation(true);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(16);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setMinimumSectionSize(1);  // the role code column is 2 px wide
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SetTypingAllowed(false);
}

void StringGridView::Refresh() {
  model_->Refresh();
  SyncCurrentFromGrid();
}

void StringGridView::SyncCurrentFromGrid() {
  StringGrid& grid = Grid();
  int col = std::max(grid.Col(), model_->FixedCols());
  col = std::min(col, grid.ColCount() - 1);
  int row = std::max(grid.CurrentRow(), 1);
  row = std::min(row, grid.LastRow());
  SetCurrentCell(grid, col, row);
  syncing_ = true;
  setCurrentIndex(model_->index(row - 1, col));
  syncing_ = false;
  viewport()->update();
}

void StringGridView::CommitEditor() {
  if (state() != QAbstractItemView::EditingState) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

void StringGridView::SetTypingAllowed(bool allowed) {
  typing_ = allowed;
  if (!allowed) CommitEditor();
  setEditTriggers(allowed ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked
                          : QAbstractItemView::NoEditTriggers);
}

void StringGridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (syncing_ || !current.isValid()) return;
  if (current.column() < model_->FixedCols()) {
    // Title columns never take the current cell.
    setCurrentIndex(model_->index(current.row(), model_->FixedCols()));
    return;
  }
  SetCurrentCell(Grid(), current.column(), current.row() + 1);
  emit currentCellChanged(current.column(), current.row() + 1);
}

int StringGridView::HitRow(const QPoint& viewportPos) const {
  if (viewportPos.y() < 0 && viewportPos.y() >= -horizontalHeader()->height() &&
      horizontalHeader()->logicalIndexAt(viewportPos.x()) >= 0) {
    return 0;
  }
  const int row = rowAt(viewportPos.y());
  const int col = columnAt(viewportPos.x());
  if (row < 0 || col < 0) return -1;
  return row + 1;
}

QRect StringGridView::DropMarkRect(int row) const {
  const QRect first = visualRect(model_->index(row - 1, 0));
  const QRect fourth = visualRect(model_->index(row - 1, std::min(3, model_->columnCount() - 1)));
  return QRect(first.topLeft(), fourth.bottomRight());
}

void StringGridView::DrawRowDropMark(int row) {
  auto it = std::find(marks_.begin(), marks_.end(), row);
  if (it != marks_.end())
    marks_.erase(it);
  else
    marks_.push_back(row);
  viewport()->update();
}

void StringGridView::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (marks_.empty()) return;
  QPainter painter(viewport());
  painter.setCompositionMode(QPainter::RasterOp_NotDestination);
  QPen pen(Qt::black, 1, Qt::DotLine);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  for (int row : marks_) painter.drawRect(DropMarkRect(row).adjusted(0, 0, -1, -1));
}

void StringGridView::focusInEvent(QFocusEvent* event) {
  QTableView::focusInEvent(event);
  setCursor(Qt::ArrowCursor);
  justFocused_ = true;
  EndDrag();
  emit focusReceived();
}

void StringGridView::mousePressEvent(QMouseEvent* event) {
  const bool first = justFocused_;
  justFocused_ = false;
  if (event->button() == Qt::RightButton) {
    // The popup menus act on the current cell: a right press makes the cell
    // under the mouse current first, so the menu is that cell's.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.column() >= model_->FixedCols() && index != currentIndex()) {
      CommitEditor();
      setCurrentIndex(index);
    }
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    justFocused_ = false;
    emit gridClicked();
    event->accept();
    return;
  }
  QTableView::mousePressEvent(event);
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  justFocused_ = false;  // the focus given by this press counts as this press
  emit gridClicked();
  if (event->button() != Qt::LeftButton) return;
  if (first) {
    EndDrag();
    return;
  }
  armed_ = true;
  pressPos_ = event->position().toPoint();
}

bool StringGridView::OverGrid(const QPoint& viewportPos) const {
  const QRect area = viewport()->rect().adjusted(0, -horizontalHeader()->height(), 0, 0);
  return area.contains(viewportPos);
}

bool StringGridView::DragOver(const QPoint& viewportPos, DragState state) {
  accepted_ = GridRowDragOver(Grid(), DragSource::ThisGrid, HitRow(viewportPos), state,
                              [this](int row) { DrawRowDropMark(row); });
  return accepted_;
}

void StringGridView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) {
    QTableView::mouseMoveEvent(event);
    return;
  }
  if (!armed_) return;
  const QPoint pos = event->position().toPoint();
  if (!dragging_) {
    if ((pos - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
    dragging_ = true;
    inside_ = false;
  }
  const bool over = OverGrid(pos);
  if (over) {
    DragOver(pos, inside_ ? DragState::Move : DragState::Enter);
    inside_ = true;
  } else if (inside_) {
    DragOver(pos, DragState::Leave);
    inside_ = false;
    accepted_ = false;
  }
  setCursor(over && accepted_ ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

void StringGridView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragging_) {
    const QPoint pos = event->position().toPoint();
    if (OverGrid(pos)) {
      const bool accept = DragOver(pos, DragState::Leave);
      const int target = HitRow(pos);
      if (accept) {
        const int from = Grid().CurrentRow();
        MoveCurrentRow(Grid(), target, Grid().dropColumn);
        Refresh();
        emit rowMoved(from, target);
      }
    }
    EndDrag();
    event->accept();
    return;
  }
  EndDrag();
  QTableView::mouseReleaseEvent(event);
}

void StringGridView::EndDrag() {
  if (dragging_ && inside_)
    GridRowDragOver(Grid(), DragSource::ThisGrid, -1, DragState::Leave,
                    [this](int row) { DrawRowDropMark(row); });
  armed_ = false;
  dragging_ = false;
  inside_ = false;
  accepted_ = false;
  unsetCursor();
  setCursor(Qt::ArrowCursor);
}

void StringGridView::keyPressEvent(QKeyEvent* event) {
  if ((event->modifiers() & Qt::ControlModifier) &&
      (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
    StringGrid& grid = Grid();
    const int from = grid.CurrentRow();
    const int target = from + (event->key() == Qt::Key_Up ? -1 : 1);
    if (target >= 1 && target <= grid.LastRow()) {
      MoveCurrentRow(grid, target, grid.Col());
      Refresh();
      emit rowMoved(from, target);
    }
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

// Drags that come from outside: another string grid is accepted (nothing is
// marked and the drop does nothing), anything else refused.
void StringGridView::dragEnterEvent(QDragEnterEvent* event) {
  QObject* source = event->source();
  const DragSource kind = source == this                      ? DragSource::ThisGrid
                          : qobject_cast<QTableView*>(source) ? DragSource::OtherStringGrid
                                                              : DragSource::Other;
  if (kind != DragSource::ThisGrid && GridRowDragOver(Grid(), kind, -1, DragState::Enter, {}))
    event->acceptProposedAction();
  else
    event->ignore();
}

void StringGridView::dragMoveEvent(QDragMoveEvent* event) {
  if (qobject_cast<QTableView*>(event->source()) && event->source() != this)
    event->acceptProposedAction();
  else
    event->ignore();
}

void StringGridView::dropEvent(QDropEvent* event) { event->ignore(); }

}  // namespace drs
