#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/StrGdPrc.h"

namespace drs {
namespace {

// A one-column grid with the given data rows; row 0 is the title.
StringGrid Grid(const std::vector<std::string>& rows, int cols = 1) {
  StringGrid grid(cols, static_cast<int>(rows.size()) + 1);
  grid.SetCell(0, 0, "title");
  for (size_t i = 0; i < rows.size(); ++i) {
    for (int c = 0; c < cols; ++c)
      grid.SetCell(c, static_cast<int>(i) + 1, rows[i] + (c ? std::to_string(c) : ""));
  }
  return grid;
}

std::vector<std::string> Rows(const StringGrid& grid) {
  std::vector<std::string> rows;
  for (int r = 1; r < grid.RowCount(); ++r) rows.push_back(grid.Cell(0, r));
  return rows;
}

bool SpareEmpty(const StringGrid& grid) {
  for (const std::string& cell : grid.RowCells(grid.RowCount())) {
    if (!cell.empty()) return false;
  }
  return true;
}

using Strings = std::vector<std::string>;

TEST(StrGdPrc, InsertBlankRow) {
  StringGrid one = Grid({"A"});
  one.SetCurrentRow(1);
  InsertBlankRow(one, 1);
  EXPECT_EQ(one.RowCount(), 3);
  EXPECT_EQ(Rows(one), (Strings{"A", ""}));
  EXPECT_EQ(one.CurrentRow(), 1);

  StringGrid four = Grid({"A", "B", "C", "D"}, 3);
  four.SetCurrentRow(1);
  InsertBlankRow(four, 1);
  EXPECT_EQ(Rows(four), (Strings{"", "A", "B", "C", "D"}));
  EXPECT_EQ(four.Cell(2, 2), "A2");  // whole rows move
  EXPECT_EQ(four.Cell(2, 1), "");
  EXPECT_EQ(four.CurrentRow(), 1);
  EXPECT_EQ(four.Cell(0, 0), "title");

  StringGrid mid = Grid({"A", "B", "C"});
  mid.SetCurrentRow(2);
  InsertBlankRow(mid, 2);
  EXPECT_EQ(Rows(mid), (Strings{"A", "", "B", "C"}));
}

TEST(StrGdPrc, InsertAfterDeleteGivesBlankRow) {
  // The dropped last row must not come back when a row is added again.
  StringGrid grid = Grid({"A", "B", "C"});
  DeleteGridRow(grid, 3);
  grid.SetCurrentRow(2);
  InsertBlankRow(grid, 2);
  EXPECT_EQ(Rows(grid), (Strings{"A", "B", ""}));
}

TEST(StrGdPrc, DeleteGridRow) {
  StringGrid two = Grid({"A"});
  DeleteGridRow(two, 1);
  EXPECT_EQ(two.RowCount(), 2);
  EXPECT_EQ(Rows(two), (Strings{"A"}));

  StringGrid three = Grid({"A", "B", "C"}, 2);
  three.SetCurrentRow(2);
  DeleteGridRow(three, 2);
  EXPECT_EQ(Rows(three), (Strings{"A", "C"}));
  EXPECT_EQ(three.Cell(1, 2), "C1");

  StringGrid last = Grid({"A", "B"});
  last.SetCurrentRow(2);
  DeleteGridRow(last, 2);
  EXPECT_EQ(Rows(last), (Strings{"A"}));
  EXPECT_EQ(last.CurrentRow(), 1);  // kept within the rows

  StringGrid outside = Grid({"A", "B"});
  DeleteGridRow(outside, 0);
  DeleteGridRow(outside, 7);
  EXPECT_EQ(Rows(outside), (Strings{"A", "B"}));
  EXPECT_EQ(outside.Cell(0, 0), "title");
}

TEST(StrGdPrc, MoveCurrentRowBothWays) {
  StringGrid down = Grid({"A", "B", "C"}, 2);
  SetCurrentCell(down, 1, 1);
  MoveCurrentRow(down, 3, 1);
  EXPECT_EQ(Rows(down), (Strings{"B", "C", "A"}));
  EXPECT_EQ(down.Cell(1, 3), "A1");
  EXPECT_EQ(down.CurrentRow(), 3);
  EXPECT_EQ(down.Col(), 1);
  EXPECT_EQ(down.RowCount(), 4);
  EXPECT_TRUE(SpareEmpty(down));

  StringGrid up = Grid({"A", "B", "C"});
  SetCurrentCell(up, 0, 3);
  MoveCurrentRow(up, 1, 0);
  EXPECT_EQ(Rows(up), (Strings{"C", "A", "B"}));
  EXPECT_EQ(up.CurrentRow(), 1);
  EXPECT_TRUE(SpareEmpty(up));
}

TEST(StrGdPrc, MoveTwoToFiveAndBack) {
  StringGrid grid = Grid({"A", "B", "C", "D", "E", "F"});
  SetCurrentCell(grid, 0, 2);
  MoveCurrentRow(grid, 5, 0);
  EXPECT_EQ(Rows(grid), (Strings{"A", "C", "D", "E", "B", "F"}));
  MoveCurrentRow(grid, 2, 0);
  EXPECT_EQ(Rows(grid), (Strings{"A", "B", "C", "D", "E", "F"}));
  EXPECT_EQ(grid.CurrentRow(), 2);
}

TEST(StrGdPrc, MoveToInvalidTargetChangesNothing) {
  for (int target : {0, -1, 4, 9, 2}) {
    StringGrid grid = Grid({"A", "B", "C"});
    SetCurrentCell(grid, 0, 2);
    MoveCurrentRow(grid, target, 0);
    EXPECT_EQ(Rows(grid), (Strings{"A", "B", "C"})) << target;
    EXPECT_EQ(grid.Cell(0, 0), "title");
    EXPECT_EQ(grid.CurrentRow(), 2);
  }
}

TEST(StrGdPrc, MoveStepsUseTheSpareRow) {
  StringGrid grid = Grid({"A", "B", "C"});
  SetCurrentCell(grid, 0, 1);
  InsertCurrentRowCopy(grid, 4);  // the spare row takes the copy
  EXPECT_EQ(grid.Cell(0, 4), "A");
  EXPECT_EQ(grid.RowCount(), 4);
  RemoveGridRow(grid, 1);
  EXPECT_EQ(Rows(grid), (Strings{"B", "C", "A"}));
  EXPECT_TRUE(SpareEmpty(grid));
}

TEST(StrGdPrc, DropTarget) {
  StringGrid grid = Grid({"A", "B", "C"});
  SetCurrentCell(grid, 0, 2);
  grid.SetCol(0);
  EXPECT_FALSE(RowDropTarget(grid, 0).accept);   // title row
  EXPECT_FALSE(RowDropTarget(grid, 2).accept);   // the dragged row itself
  EXPECT_FALSE(RowDropTarget(grid, -1).accept);  // outside the cells
  EXPECT_FALSE(RowDropTarget(grid, 4).accept);   // beyond the last row
  EXPECT_TRUE(RowDropTarget(grid, 3).accept);
  EXPECT_EQ(RowDropTarget(grid, 1).row, 1);
}

TEST(StrGdPrc, DragOverMovesTheMark) {
  StringGrid grid = Grid({"A", "B", "C", "D"}, 5);
  SetCurrentCell(grid, 4, 2);
  std::vector<int> drawn;
  auto draw = [&](int row) { drawn.push_back(row); };

  EXPECT_TRUE(GridRowDragOver(grid, DragSource::ThisGrid, 3, DragState::Enter, draw));
  EXPECT_EQ(grid.tag, 4);
  EXPECT_EQ(grid.dropColumn, 4);
  EXPECT_EQ(drawn, (std::vector<int>{3}));

  // The same row again: nothing redrawn.
  EXPECT_TRUE(GridRowDragOver(grid, DragSource::ThisGrid, 3, DragState::Move, draw));
  EXPECT_EQ(drawn.size(), 1u);

  // Refused places keep the mark.
  for (int row : {0, 2, -1, 5}) {
    EXPECT_FALSE(GridRowDragOver(grid, DragSource::ThisGrid, row, DragState::Move, draw)) << row;
  }
  EXPECT_EQ(grid.tag, 4);
  EXPECT_EQ(drawn.size(), 1u);

  // Another row: the old mark erased, the new one drawn.
  EXPECT_TRUE(GridRowDragOver(grid, DragSource::ThisGrid, 1, DragState::Move, draw));
  EXPECT_EQ(drawn, (std::vector<int>{3, 3, 1}));
  EXPECT_EQ(grid.tag, 2);

  // Leaving erases the mark.
  EXPECT_TRUE(GridRowDragOver(grid, DragSource::ThisGrid, 1, DragState::Leave, draw));
  EXPECT_EQ(grid.tag, 0);
  EXPECT_EQ(drawn, (std::vector<int>{3, 3, 1, 1}));
  // Each row drawn an even number of times: no mark remains.
  EXPECT_FALSE(GridRowDragOver(grid, DragSource::ThisGrid, -1, DragState::Leave, draw));
  EXPECT_EQ(drawn.size(), 4u);
}

TEST(StrGdPrc, DragFromElsewhere) {
  StringGrid grid = Grid({"A", "B"});
  SetCurrentCell(grid, 0, 1);
  int draws = 0;
  auto draw = [&](int) { ++draws; };
  EXPECT_TRUE(GridRowDragOver(grid, DragSource::OtherStringGrid, 2, DragState::Move, draw));
  EXPECT_FALSE(GridRowDragOver(grid, DragSource::Other, 2, DragState::Move, draw));
  EXPECT_EQ(draws, 0);
  EXPECT_EQ(grid.tag, 0);
}

TEST(StringGrid, ShrinkKeepsRowsGrowGivesBlankOnes) {
  StringGrid grid = Grid({"A", "B", "C"});
  grid.SetCurrentRow(3);
  grid.SetRowCount(2);
  EXPECT_EQ(grid.CurrentRow(), 1);
  EXPECT_EQ(grid.Cell(0, 1), "A");
  grid.SetRowCount(4);
  EXPECT_EQ(Rows(grid), (Strings{"A", "", ""}));
  EXPECT_EQ(grid.Cell(0, 9), "");
  grid.SetCell(0, 9, "x");  // ignored, no crash
  grid.SetRowCount(0);
  EXPECT_EQ(grid.RowCount(), 1);
}

}  // namespace
}  // namespace drs
