// A grid of text cells addressed by (column, row), with a current cell, a
// row count and one spare row of storage below the last row. Row 0 is the
// title row; the data rows are 1 to RowCount() - 1. The window shows it;
// the row procedures (StrGdPrc) and the format check work on it.
#pragma once

#include <string>
#include <vector>

namespace drs {

class StringGrid {
 public:
  using Row = std::vector<std::string>;

  StringGrid(int colCount, int rowCount);

  int ColCount() const { return colCount_; }
  int RowCount() const { return static_cast<int>(rows_.size()) - 1; }
  int LastRow() const { return RowCount() - 1; }
  // Rows that come into view are blank; the rows kept stay as they were.
  // At least one row always remains. The current row is kept within the rows.
  void SetRowCount(int count);

  // Rows 0 .. RowCount() (the last index is the spare row); columns from 0.
  // Out-of-range cells read as empty and ignore writes.
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, std::string text);
  const Row& RowCells(int row) const;
  void SetRowCells(int row, Row cells);
  void ClearRow(int row);
  // The column's cells, title first.
  std::vector<std::string> Column(int col) const;

  int Col() const { return col_; }
  int CurrentRow() const { return row_; }
  void SetCol(int col);
  void SetCurrentRow(int row);

  // The general-purpose tag: the drag procedures keep the marked row + 1 here.
  int tag = 0;
  // The column that was current at the last drag test; the drop uses it.
  int dropColumn = 0;

 private:
  bool ValidRow(int row) const { return row >= 0 && row < static_cast<int>(rows_.size()); }

  int colCount_;
  std::vector<Row> rows_;  // RowCount() rows and the spare row
  int col_ = 0;
  int row_ = 0;
};

}  // namespace drs
