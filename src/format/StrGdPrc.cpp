#include "format/StrGdPrc.h"

namespace drs {

void InsertBlankRow(StringGrid& grid, int index) {
  const int last = grid.LastRow();
  if (index < 1 || index > last) return;
  grid.SetRowCount(grid.RowCount() + 1);  // the new bottom row is blank
  if (index == last) return;
  for (int r = grid.LastRow(); r > index; --r) grid.SetRowCells(r, grid.RowCells(r - 1));
  grid.ClearRow(index);
}

void DeleteGridRow(StringGrid& grid, int index) {
  if (grid.RowCount() < 3) return;
  const int last = grid.LastRow();
  if (index < 1 || index > last) return;
  for (int r = index; r < last; ++r) grid.SetRowCells(r, grid.RowCells(r + 1));
  grid.SetRowCount(grid.RowCount() - 1);
}

void InsertCurrentRowCopy(StringGrid& grid, int index) {
  const int current = grid.CurrentRow();
  const int spare = grid.RowCount();
  if (index < 1 || index > spare) return;
  for (int r = grid.LastRow(); r >= index; --r) grid.SetRowCells(r + 1, grid.RowCells(r));
  // The current row itself has moved down when it was at or below the index.
  grid.SetRowCells(index, grid.RowCells(current < index ? current : current + 1));
}

void RemoveGridRow(StringGrid& grid, int index) {
  if (grid.RowCount() < 2) return;
  const int spare = grid.RowCount();
  if (index < 1 || index > spare) return;
  for (int r = index; r < spare; ++r) grid.SetRowCells(r, grid.RowCells(r + 1));
  grid.ClearRow(spare);
}

void MoveCurrentRow(StringGrid& grid, int target, int column) {
  const int current = grid.CurrentRow();
  if (target < 1 || target > grid.LastRow() || target == current) return;
  if (current < target) {
    InsertCurrentRowCopy(grid, target + 1);
    RemoveGridRow(grid, current);
  } else {
    InsertCurrentRowCopy(grid, target);
    RemoveGridRow(grid, current + 1);
  }
  SetCurrentCell(grid, column, target);
}

void SetCurrentCell(StringGrid& grid, int column, int row) {
  grid.SetCol(column);
  grid.SetCurrentRow(row);
}

DropTest RowDropTarget(StringGrid& grid, int hitRow) {
  grid.dropColumn = grid.Col();
  DropTest test;
  test.row = hitRow;
  test.accept = hitRow > 0 && hitRow != grid.CurrentRow() && hitRow <= grid.LastRow();
  return test;
}

bool GridRowDragOver(StringGrid& grid, DragSource source, int hitRow, DragState state,
                     const DrawRowDropMark& drawMark) {
  if (source != DragSource::ThisGrid) return source == DragSource::OtherStringGrid;
  const DropTest test = RowDropTarget(grid, hitRow);
  const int marked = grid.tag - 1;
  if (state == DragState::Leave) {
    if (marked >= 0) {
      if (drawMark) drawMark(marked);
      grid.tag = 0;
    }
    return test.accept;
  }
  if (marked == test.row) return test.accept;
  if (test.accept) {
    if (marked >= 0 && drawMark) drawMark(marked);
    if (drawMark) drawMark(test.row);
    grid.tag = test.row + 1;
  }
  return test.accept;
}

}  // namespace drs
