// MMVBGrid's model: a view of the deal grid's cells, read on demand, so a
// million deals cost no widget and no copy. Grid row 0 is the header; model
// row i is grid row i + 1.
#pragma once

#include <QAbstractTableModel>
#include <functional>

namespace drs {

class DealGrid;

class DealGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Column count before the first format is applied.
  static constexpr int kDesignColumns = 12;

  using RowTest = std::function<bool(int gridRow)>;
  DealGridModel(const drs::DealGrid& grid, RowTest isMarked, RowTest isRelated, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The grid changed shape or content: views re-read everything.
  void Reload();
  // From now on the grid's own column count is shown.
  void UseGridColumns();
  bool ShowsGridColumns() const { return gridColumns_; }

  bool IsMarked(int modelRow) const;
  bool IsRelated(int modelRow) const;

 private:
  const drs::DealGrid& grid_;
  RowTest isMarked_;
  RowTest isRelated_;
  bool gridColumns_ = false;
};

}  // namespace drs
