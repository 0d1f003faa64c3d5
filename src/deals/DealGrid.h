// The deal grid's cells in compact storage. A deal row's cells lie one after
// another in a text store, so a row costs one offset and a 16-bit end per
// cell; a report's text can itself become the store, its rows packed in place
// as they are read. Row 0 is the header (captions); deal rows are
// 1..RowCount()-1; columns from 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "utils/Pages.h"

namespace drs {

class DealGrid {
 public:
  DealGrid();

  int RowCount() const { return static_cast<int>(rows_.size()) + 1; }
  int ColCount() const { return colCount_; }
  // Keeps at least one column; cells of dropped columns are lost.
  void SetColCount(int count);
  // Rows beyond the current count come blank; the header row always stays.
  void SetRowCount(int count);
  int AppendRow();  // a blank row at the end; returns its index

  std::string_view Cell(int col, int row) const {
    if (col < 0 || col >= colCount_ || row < 0 || row >= RowCount()) return {};
    if (row == 0) return header_[static_cast<size_t>(col)];
    const uint64_t at = rows_[static_cast<size_t>(row - 1)];
    const uint16_t* ends = &ends_[static_cast<size_t>(row - 1) * static_cast<size_t>(colCount_)];
    const uint16_t begin = col == 0 ? 0 : ends[col - 1];
    if (at & kWide) return wide_[at & kOffset][static_cast<size_t>(col)];
    const std::string& store = (at & kSide) ? side_ : text_;
    return std::string_view(store.data() + (at & kOffset) + begin, static_cast<size_t>(ends[col] - begin));
  }
  void SetCell(int col, int row, std::string_view text);

  int ColWidth(int col) const;
  void SetColWidth(int col, int width);

  // Packed filling. The grid drops its deal rows and takes `text` as its
  // store; each AppendPackedRow then writes its cells (one per column, views
  // of anything, the store included) at the store's write position when they
  // end there no later than `limit`: bytes from `limit` on are still to be
  // read. Rows that do not fit go aside. EndPacking drops the unused rest.
  void BeginPacking(std::string text, size_t rows);
  int AppendPackedRow(const std::string_view* cells, size_t limit);
  void EndPacking();
  // The store while packing: the text given, as far as not yet overwritten.
  std::string_view PackingText() const { return text_; }

 private:
  static constexpr uint64_t kSide = uint64_t(1) << 63;  // cells in side_
  static constexpr uint64_t kWide = uint64_t(1) << 62;  // cells in wide_ (a row over 64 KiB)
  static constexpr uint64_t kOffset = kWide - 1;

  // The row's cells written anew (aside), `cells` one per column.
  void StoreRow(size_t index, const std::string_view* cells, size_t limit);
  std::vector<std::string_view> RowCells(int row) const;

  int colCount_ = 1;
  std::vector<std::string> header_;
  std::vector<int> widths_;
  HugePageVector<uint64_t> rows_;  // per deal row: where its cells begin, and the store
  HugePageVector<uint16_t> ends_;  // per cell: its end from the row's beginning, row-major
  std::string text_;               // the packed store (a report's text)
  size_t written_ = 0;             // the packed store's write position while filling
  std::string side_;               // rows set cell by cell, and rows that did not fit
  std::vector<std::vector<std::string>> wide_;
  std::string scratch_;
};

}  // namespace drs
