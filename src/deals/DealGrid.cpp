#include "deals/DealGrid.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "utils/Pages.h"

namespace drs {

namespace {
constexpr int kDefaultColWidth = 64;
constexpr size_t kMaxPackedRow = UINT16_MAX;
}  // namespace

DealGrid::DealGrid() : header_(1), widths_(1, kDefaultColWidth), rows_(1, 0), ends_(1, 0) {}

std::vector<std::string_view> DealGrid::RowCells(int row) const {
  std::vector<std::string_view> cells(static_cast<size_t>(colCount_));
  for (int c = 0; c < colCount_; ++c) cells[static_cast<size_t>(c)] = Cell(c, row);
  return cells;
}

void DealGrid::SetColCount(int count) {
  count = std::max(count, 1);
  if (count == colCount_) return;
  // Rare (a format load empties the grid first): every row is stored anew.
  std::vector<std::vector<std::string>> old(rows_.size());
  for (size_t r = 0; r < rows_.size(); ++r) {
    for (int c = 0; c < std::min(count, colCount_); ++c)
      old[r].emplace_back(Cell(c, static_cast<int>(r) + 1));
    old[r].resize(static_cast<size_t>(count));
  }
  colCount_ = count;
  header_.resize(static_cast<size_t>(count));
  widths_.resize(static_cast<size_t>(count), kDefaultColWidth);
  ends_.assign(rows_.size() * static_cast<size_t>(count), 0);
  side_.clear();
  wide_.clear();
  std::vector<std::string_view> cells(static_cast<size_t>(count));
  for (size_t r = 0; r < rows_.size(); ++r) {
    for (size_t c = 0; c < cells.size(); ++c) cells[c] = old[r][c];
    StoreRow(r, cells.data(), 0);
  }
}

void DealGrid::SetRowCount(int count) {
  count = std::max(count, 1);
  const size_t rows = static_cast<size_t>(count - 1);
  rows_.resize(rows, 0);
  ends_.resize(rows * static_cast<size_t>(colCount_), 0);
  if (rows == 0) {
    std::string().swap(text_);
    std::string().swap(side_);
    wide_.clear();
    written_ = 0;
  }
}

int DealGrid::AppendRow() {
  rows_.push_back(0);
  ends_.resize(ends_.size() + static_cast<size_t>(colCount_), 0);
  return RowCount() - 1;
}

void DealGrid::StoreRow(size_t index, const std::string_view* cells, size_t limit) {
  const size_t cols = static_cast<size_t>(colCount_);
  size_t total = 0;
  for (size_t c = 0; c < cols; ++c) total += cells[c].size();
  uint16_t* ends = &ends_[index * cols];
  if (total > kMaxPackedRow) {
    std::vector<std::string> row;
    for (size_t c = 0; c < cols; ++c) {
      row.emplace_back(cells[c]);
      ends[c] = 0;
    }
    rows_[index] = kWide | wide_.size();
    wide_.push_back(std::move(row));
    return;
  }
  // The cells may lie in either store: gathered first, then written.
  scratch_.clear();
  for (size_t c = 0; c < cols; ++c) {
    scratch_.append(cells[c]);
    ends[c] = static_cast<uint16_t>(scratch_.size());
  }
  if (written_ + total <= limit) {
    std::memcpy(text_.data() + written_, scratch_.data(), total);
    rows_[index] = written_;
    written_ += total;
  } else {
    rows_[index] = kSide | side_.size();
    side_.append(scratch_);
  }
}

void DealGrid::SetCell(int col, int row, std::string_view text) {
  if (col < 0 || col >= colCount_ || row < 0 || row >= RowCount()) return;
  if (row == 0) {
    header_[static_cast<size_t>(col)] = std::string(text);
    return;
  }
  if (Cell(col, row) == text) return;
  const size_t index = static_cast<size_t>(row - 1);
  if (rows_[index] & kWide) {
    wide_[rows_[index] & kOffset][static_cast<size_t>(col)] = std::string(text);
    return;
  }
  std::vector<std::string_view> cells = RowCells(row);
  const std::string copy(text);  // `text` may be a cell of this grid
  cells[static_cast<size_t>(col)] = copy;
  // Gathered into scratch before side_ grows, so the views stay valid.
  StoreRow(index, cells.data(), 0);
}

int DealGrid::ColWidth(int col) const {
  return col >= 0 && col < colCount_ ? widths_[static_cast<size_t>(col)] : kDefaultColWidth;
}

void DealGrid::SetColWidth(int col, int width) {
  if (col >= 0 && col < colCount_) widths_[static_cast<size_t>(col)] = width;
}

void DealGrid::BeginPacking(std::string text, size_t rows) {
  SetRowCount(1);
  text_ = std::move(text);
  written_ = 0;
  rows_.reserve(rows);
  ends_.reserve(rows * static_cast<size_t>(colCount_));
  // Every row's ends at once; EndPacking drops those of rows never appended.
  ends_.resize(rows * static_cast<size_t>(colCount_));
}

int DealGrid::AppendPackedRow(const std::string_view* cells, size_t limit) {
  rows_.push_back(0);
  const size_t ends = rows_.size() * static_cast<size_t>(colCount_);
  if (ends_.size() < ends) ends_.resize(ends);
  StoreRow(rows_.size() - 1, cells, std::min(limit, text_.size()));
  return RowCount() - 1;
}

void DealGrid::EndPacking() {
  ends_.resize(rows_.size() * static_cast<size_t>(colCount_));
  text_.resize(written_);
  ReleaseUnusedPages(text_);  // a report's separators and hidden fields
}

}  // namespace drs
