// The Qt model over a core StringGrid: grid row 0 is the horizontal header,
// grid rows 1.. are model rows 0.. . The grid's own cells are the only data.
#pragma once

#include <QAbstractTableModel>
#include <QColor>

#include "format/StringGrid.h"

namespace drs {

class StringGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  StringGridModel(StringGrid& grid, QObject* parent = nullptr);

  StringGrid& Grid() { return grid_; }
  // Call after the core grid was changed behind the model's back.
  void Refresh();

  // Columns below this index look and act as titles (not current, no typing).
  void SetFixedCols(int count);
  int FixedCols() const { return fixedCols_; }
  // Columns the in-place editor may change; the others take no typing.
  void SetEditableColumns(std::vector<bool> editable);
  // Invalid: the normal colour. The caller repaints the view.
  void SetCellColour(const QColor& colour);
  QColor CellColour() const { return cellColour_; }
  void SetFixedColour(const QColor& colour) { fixedColour_ = colour; }
  QColor FixedColour() const { return fixedColour_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // A cell's text was changed through the model (the in-place editor).
  void cellEdited(int col, int row);

 private:
  StringGrid& grid_;
  int fixedCols_ = 0;
  std::vector<bool> editable_;
  QColor cellColour_;
  QColor fixedColour_;
};

}  // namespace drs
