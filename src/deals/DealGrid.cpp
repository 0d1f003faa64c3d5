#include "deals/DealGrid.h"

#include <algorithm>
#include <limits>

#include "utils/Errors.h"

namespace drs {

namespace {
constexpr int kDefaultColWidth = 64;
}

DealGrid::DealGrid() : header_(1), widths_(1, kDefaultColWidth), cells_(1) {}

void DealGrid::SetColCount(int count) {
  count = std::max(count, 1);
  if (count == colCount_) return;
  std::vector<Span> cells(static_cast<size_t>(rowCount_ - 1) * static_cast<size_t>(count));
  int keep = std::min(count, colCount_);
  for (int r = 1; r < rowCount_; ++r) {
    for (int c = 0; c < keep; ++c) {
      cells[static_cast<size_t>(r - 1) * static_cast<size_t>(count) + static_cast<size_t>(c)] =
          cells_[static_cast<size_t>(r - 1) * static_cast<size_t>(colCount_) + static_cast<size_t>(c)];
    }
  }
  cells_.swap(cells);
  colCount_ = count;
  header_.resize(static_cast<size_t>(count));
  widths_.resize(static_cast<size_t>(count), kDefaultColWidth);
}

void DealGrid::SetRowCount(int count) {
  count = std::max(count, 1);
  cells_.resize(static_cast<size_t>(count - 1) * static_cast<size_t>(colCount_));
  rowCount_ = count;
  if (count == 1) {
    arena_.clear();
    liveBytes_ = 0;
  }
}

int DealGrid::AppendRow() {
  cells_.resize(cells_.size() + static_cast<size_t>(colCount_));
  return rowCount_++;
}

std::string_view DealGrid::Cell(int col, int row) const {
  if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount_) return {};
  if (row == 0) return header_[static_cast<size_t>(col)];
  const Span& s =
      cells_[static_cast<size_t>(row - 1) * static_cast<size_t>(colCount_) + static_cast<size_t>(col)];
  return std::string_view(arena_).substr(s.offset, s.length);
}

void DealGrid::SetCell(int col, int row, std::string_view text) {
  if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount_) return;
  if (row == 0) {
    header_[static_cast<size_t>(col)] = std::string(text);
    return;
  }
  Span& s = cells_[static_cast<size_t>(row - 1) * static_cast<size_t>(colCount_) + static_cast<size_t>(col)];
  if (text.size() <= s.length) {
    // Shorter or equal texts are written in place.
    std::copy(text.begin(), text.end(), arena_.begin() + s.offset);
    liveBytes_ -= s.length - text.size();
    s.length = static_cast<uint32_t>(text.size());
    return;
  }
  if (arena_.size() + text.size() > std::numeric_limits<uint32_t>::max()) {
    CompactIfWasteful();
    if (arena_.size() + text.size() > std::numeric_limits<uint32_t>::max()) {
      throw EInOutError("Недостаточно памяти: файл сделок слишком велик");
    }
  }
  liveBytes_ += text.size() - s.length;
  s.offset = static_cast<uint32_t>(arena_.size());
  s.length = static_cast<uint32_t>(text.size());
  arena_.append(text);
}

void DealGrid::CompactIfWasteful() {
  if (liveBytes_ * 2 > arena_.size()) return;
  std::string packed;
  packed.reserve(liveBytes_);
  for (Span& s : cells_) {
    uint32_t offset = static_cast<uint32_t>(packed.size());
    packed.append(arena_, s.offset, s.length);
    s.offset = offset;
  }
  arena_.swap(packed);
}

int DealGrid::ColWidth(int col) const {
  return col >= 0 && col < colCount_ ? widths_[static_cast<size_t>(col)] : kDefaultColWidth;
}

void DealGrid::SetColWidth(int col, int width) {
  if (col >= 0 && col < colCount_) widths_[static_cast<size_t>(col)] = width;
}

void DealGrid::Reserve(size_t rows, size_t textBytes) {
  cells_.reserve(rows * static_cast<size_t>(colCount_));
  arena_.reserve(textBytes);
}

}  // namespace drs
