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
  ~TDBGrid() override;
  using QTableView::edit;

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

  // A cell's in-place editor is open.
  bool Editing() const { return state() == QAbstractItemView::EditingState; }
  // Writes the open editor's text into its cell and closes it.
  void CommitEdit();
  // Closes the open editor, its text dropped.
  void CancelEdit();
  // Commits the open editor, then posts a new row that was filled in (one
  // left empty is dropped). False when the row could not be written.
  bool PostEdits();

 signals:
  void focused();
  // An in-place editor was opened or closed.
  void editingChanged(bool editing);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  class ColumnModel;
  void Rebind();
  void FocusChanged(QWidget* old, QWidget* now);

  TDataSource* source_ = nullptr;
  ColumnModel* columnModel_;
  std::vector<TDBColumn> columns_;
};

}  // namespace drs
