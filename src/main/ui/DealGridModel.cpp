#include "main/ui/DealGridModel.h"

#include "deals/DealGrid.h"

namespace drs {

DealGridModel::DealGridModel(const drs::DealGrid& grid, RowTest isMarked, RowTest isRelated, QObject* parent)
    : QAbstractTableModel(parent),
      grid_(grid),
      isMarked_(std::move(isMarked)),
      isRelated_(std::move(isRelated)) {}

int DealGridModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return grid_.RowCount() > 1 ? grid_.RowCount() - 1 : 0;
}

int DealGridModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return gridColumns_ ? grid_.ColCount() : kDesignColumns;
}

QVariant DealGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  if (index.column() >= grid_.ColCount()) return QString();
  std::string_view cell = grid_.Cell(index.column(), index.row() + 1);
  return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
}

QVariant DealGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, orientation, role);
  if (section < 0 || section >= grid_.ColCount()) return QString();
  std::string_view cell = grid_.Cell(section, 0);
  return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
}

void DealGridModel::Reload() {
  beginResetModel();
  endResetModel();
}

void DealGridModel::UseGridColumns() {
  if (gridColumns_) return;
  beginResetModel();
  gridColumns_ = true;
  endResetModel();
}

bool DealGridModel::IsMarked(int modelRow) const { return isMarked_ && isMarked_(modelRow + 1); }

bool DealGridModel::IsRelated(int modelRow) const { return isRelated_ && isRelated_(modelRow + 1); }

}  // namespace drs
