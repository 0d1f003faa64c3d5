// The deal grid's cells in compact storage: one text arena and a fixed-size
// span per cell, so a million deals cost a few bytes of overhead per cell.
// Row 0 is the header (captions); deal rows are 1..RowCount()-1; columns from 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace drs {

class DealGrid {
 public:
  DealGrid();

  int RowCount() const { return rowCount_; }
  int ColCount() const { return colCount_; }
  // Keeps at least one column; cells of dropped columns are lost.
  void SetColCount(int count);
  // Rows beyond the current count come blank; the header row always stays.
  void SetRowCount(int count);
  int AppendRow();  // a blank row at the end; returns its index

  std::string_view Cell(int col, int row) const;
  void SetCell(int col, int row, std::string_view text);

  int ColWidth(int col) const;
  void SetColWidth(int col, int width);

  void Reserve(size_t rows, size_t textBytes);
  size_t TextBytes() const { return arena_.size(); }

 private:
  struct Span {
    uint32_t offset = 0;
    uint32_t length = 0;
  };
  void CompactIfWasteful();

  int rowCount_ = 2;
  int colCount_ = 1;
  std::vector<std::string> header_;
  std::vector<int> widths_;
  std::vector<Span> cells_;  // deal rows, row-major, (row - 1) * colCount_ + col
  std::string arena_;
  size_t liveBytes_ = 0;
};

}  // namespace drs
