#include "format/StringGrid.h"

#include <algorithm>

namespace drs {

namespace {
const std::string kEmpty;
}

StringGrid::StringGrid(int colCount, int rowCount) : colCount_(std::max(colCount, 1)) {
  rows_.assign(static_cast<size_t>(std::max(rowCount, 1)) + 1, Row(static_cast<size_t>(colCount_)));
}

void StringGrid::SetRowCount(int count) {
  count = std::max(count, 1);
  const int old = RowCount();
  rows_.resize(static_cast<size_t>(count) + 1, Row(static_cast<size_t>(colCount_)));
  // New rows and the spare row start blank.
  for (int r = std::min(old, count); r <= count; ++r) ClearRow(r);
  row_ = std::min(row_, count - 1);
}

const std::string& StringGrid::Cell(int col, int row) const {
  if (!ValidRow(row) || col < 0 || col >= colCount_) return kEmpty;
  return rows_[static_cast<size_t>(row)][static_cast<size_t>(col)];
}

void StringGrid::SetCell(int col, int row, std::string text) {
  if (!ValidRow(row) || col < 0 || col >= colCount_) return;
  rows_[static_cast<size_t>(row)][static_cast<size_t>(col)] = std::move(text);
}

const StringGrid::Row& StringGrid::RowCells(int row) const {
  static const Row kNone;
  return ValidRow(row) ? rows_[static_cast<size_t>(row)] : kNone;
}

void StringGrid::SetRowCells(int row, Row cells) {
  if (!ValidRow(row)) return;
  cells.resize(static_cast<size_t>(colCount_));
  rows_[static_cast<size_t>(row)] = std::move(cells);
}

void StringGrid::ClearRow(int row) {
  if (ValidRow(row)) rows_[static_cast<size_t>(row)].assign(static_cast<size_t>(colCount_), std::string());
}

std::vector<std::string> StringGrid::Column(int col) const {
  std::vector<std::string> cells;
  cells.reserve(static_cast<size_t>(RowCount()));
  for (int r = 0; r < RowCount(); ++r) cells.push_back(Cell(col, r));
  return cells;
}

void StringGrid::SetCol(int col) { col_ = std::clamp(col, 0, colCount_ - 1); }

void StringGrid::SetCurrentRow(int row) { row_ = std::clamp(row, 0, RowCount() - 1); }

}  // namespace drs
