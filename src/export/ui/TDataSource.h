// A data source: one query's result as a Qt model, with the current row the
// grid and the navigator share. Edits of a live result reach the table at
// once; a row being inserted lives here until it is posted.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "engine/Query.h"

namespace drs {

class TDataSource : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TDataSource(QObject* parent = nullptr);
  ~TDataSource() override;

  // Shows the query's result (not owned); null shows nothing.
  void SetDataSet(TQuery* query);
  TQuery* DataSet() const { return query_; }
  bool Active() const { return query_ && query_->Active(); }
  bool CanModify() const { return Active() && query_->CanModify(); }
  // Row count as shown (a row being inserted included).
  int64_t RecordCount() const;

  int CurrentRow() const { return current_; }
  void SetCurrentRow(int row);
  void First();
  void Prior();
  void Next();
  void Last();
  // Starts a new row at the end; Post writes it, Cancel drops it.
  void Insert();
  bool Post();
  void Cancel();
  bool Inserting() const { return pending_.has_value(); }
  // The row being inserted has no value typed into it.
  bool PendingEmpty() const;
  // Asks first; true when the row was removed.
  bool Delete();
  void Refresh();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Text of a value as the grid shows it: dates as DD.MM.YYYY.
  static QString DisplayText(const DbValue& value, FieldKind kind);

 signals:
  void currentRowChanged(int row);
  void stateChanged();

 private:
  void Reload();

  TQuery* query_ = nullptr;
  int current_ = -1;
  std::optional<QStringList> pending_;
};

}  // namespace drs
