#include "format/ui/StringGridModel.h"

namespace drs {

StringGridModel::StringGridModel(StringGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

void StringGridModel::Refresh() {
  beginResetModel();
  endResetModel();
}

void StringGridModel::SetFixedCols(int count) {
  if (count == fixedCols_) return;
  fixedCols_ = count;
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void StringGridModel::SetEditableColumns(std::vector<bool> editable) { editable_ = std::move(editable); }

void StringGridModel::SetCellColour(const QColor& colour) {
  // No dataChanged: it would reset an open in-place editor's text. The view
  // repaints.
  cellColour_ = colour;
}

int StringGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_.RowCount() - 1;
}

int StringGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : grid_.ColCount();
}

QVariant StringGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int col = index.column();
  const int row = index.row() + 1;
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return QString::fromStdString(grid_.Cell(col, row));
    case Qt::BackgroundRole:
      if (col < fixedCols_) return fixedColour_.isValid() ? QVariant(fixedColour_) : QVariant();
      return cellColour_.isValid() ? QVariant(cellColour_) : QVariant();
    default:
      return {};
  }
}

bool StringGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  const int col = index.column();
  const int row = index.row() + 1;
  std::string text = value.toString().toStdString();
  if (text == grid_.Cell(col, row)) return true;
  grid_.SetCell(col, row, std::move(text));
  emit dataChanged(index, index);
  emit cellEdited(col, row);
  return true;
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
    return QString::fromStdString(grid_.Cell(section, 0));
  if (orientation == Qt::Vertical && role == Qt::DisplayRole) return section + 1;
  return {};
}

Qt::ItemFlags StringGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  const int col = index.column();
  if (col < fixedCols_) return Qt::ItemIsEnabled;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (col < static_cast<int>(editable_.size()) && editable_[static_cast<size_t>(col)])
    f |= Qt::ItemIsEditable;
  return f;
}

}  // namespace drs
