// Row procedures of a string grid whose row 0 is its one title row: insert,
// delete and move whole rows, and the drag test that lets the operator move
// a row with the mouse. The window does the hit test and the drawing.
#pragma once

#include <functional>

#include "format/StringGrid.h"

namespace drs {

// Adds a blank row at the index (the current row): below it when the index
// is the last row, otherwise in its place, the rows from there moving down.
void InsertBlankRow(StringGrid& grid, int index);
// Removes the row; refuses when the grid has fewer than two data rows.
void DeleteGridRow(StringGrid& grid, int index);
// Moves the current row to the target data row and makes (column, target)
// current; a target outside the data rows or equal to the current row does nothing.
void MoveCurrentRow(StringGrid& grid, int target, int column);
// The two steps of a move; each uses the spare row below the last row.
void InsertCurrentRowCopy(StringGrid& grid, int index);
void RemoveGridRow(StringGrid& grid, int index);
void SetCurrentCell(StringGrid& grid, int column, int row);

struct DropTest {
  bool accept = false;
  int row = -1;
};
// `hitRow` is the row under the point (-1 when the point is on no cell).
// Records the drop column; accepts a data row other than the current one.
DropTest RowDropTarget(StringGrid& grid, int hitRow);

enum class DragSource { ThisGrid, OtherStringGrid, Other };
enum class DragState { Enter, Leave, Move };
// Draws or erases (the mark inverts) the drop mark on a row.
using DrawRowDropMark = std::function<void(int row)>;

// The grid's drag-over handling: answers whether the drop may happen and
// moves the drop mark, keeping the marked row + 1 in the grid's tag.
bool GridRowDragOver(StringGrid& grid, DragSource source, int hitRow, DragState state,
                     const DrawRowDropMark& drawMark);

}  // namespace drs
