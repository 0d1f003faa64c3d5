// A data grid over a data source: columns chosen by field name with their
// titles, widths, alignment and display format; follows the source's
// current row and reports when it gets the focus.
#pragma once

#include <QIdentityProxyModel>
#include <QString>
#include <QTableView>
#include <vector>

namespace drs {

class TDataSource;

struct TDBColumn {
  QString field;
  QString title;
  int width = -1;  // -1 = the grid's default
  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
  QString displayFormat;  // ",0" = whole number with thousands separators
};

class TDBGrid : public QTableView {
  Q_OBJECT
 public:
  explicit TDBGrid(QWidget* parent = nullptr);

  void SetDataSource(TDataSource* source);
  TDataSource* DataSource() const { return source_; }
  // Columns shown, in order; with none every field is shown as it is.
  void SetColumns(const std::vector<TDBColumn>& columns);
  void ClearColumns() { SetColumns({}); }
  const std::vector<TDBColumn>& Columns() const { return columns_; }
  // The source's field shown in a grid column (-1 when none).
  int FieldOfColumn(int column) const;
  // Text of a cell as the operator sees it.
  QString CellText(int row, int column) const;

  static QString FormatNumber(double value, const QString& format);

 signals:
  void focused();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  class ColumnModel;
  void Rebind();

  TDataSource* source_ = nullptr;
  ColumnModel* columnModel_;
  std::vector<TDBColumn> columns_;
};

}  // namespace drs
