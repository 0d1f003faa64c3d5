#include "export/ui/TDataSource.h"

#include "support/Messages.h"

namespace drs {

TDataSource::TDataSource(QObject* parent) : QAbstractTableModel(parent) {}
TDataSource::~TDataSource() = default;

void TDataSource::SetDataSet(TQuery* query) {
  query_ = query;
  Reload();
}

void TDataSource::Reload() {
  beginResetModel();
  pending_.reset();
  endResetModel();
  SetCurrentRow(rowCount() > 0 ? 0 : -1);
  emit stateChanged();
}

int64_t TDataSource::RecordCount() const {
  if (!Active()) return 0;
  try {
    return query_->RecordCount() + (pending_ ? 1 : 0);
  } catch (const EDBEngineError&) {
    return 0;
  }
}

int TDataSource::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(RecordCount());
}

int TDataSource::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !Active() ? 0 : query_->FieldCount();
}

QString TDataSource::DisplayText(const DbValue& value, FieldKind kind) {
  QString text = QString::fromStdString(value.AsString());
  if (kind == FieldKind::Date && text.size() == 10 && text[4] == '-')
    return text.mid(8, 2) + "." + text.mid(5, 2) + "." + text.left(4);
  return text;
}

QVariant TDataSource::data(const QModelIndex& index, int role) const {
  if (!Active() || !index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  int64_t stored = query_->RecordCount();
  if (index.row() >= stored) return pending_ ? pending_->value(index.column()) : QVariant();
  try {
    const DbValue& v = query_->Row(index.row())[size_t(index.column())];
    return DisplayText(v, query_->Field(index.column()).kind);
  } catch (const EDBEngineError&) {
    return {};
  }
}

bool TDataSource::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !CanModify() || !index.isValid()) return false;
  if (index.row() >= query_->RecordCount()) {
    if (!pending_) return false;
    (*pending_)[index.column()] = value.toString();
    emit dataChanged(index, index);
    return true;
  }
  try {
    query_->SetCell(index.row(), index.column(), value.toString().toStdString());
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, "Ошибка записи в таблицу");
    return false;
  }
  emit dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(columnCount() - 1));
  return true;
}

Qt::ItemFlags TDataSource::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (CanModify()) f |= Qt::ItemIsEditable;
  return f;
}

QVariant TDataSource::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || !Active()) return {};
  if (orientation == Qt::Horizontal) return QString::fromStdString(query_->Field(section).name);
  return (pending_ && section == rowCount() - 1) ? QVariant("*") : QVariant();
}

void TDataSource::SetCurrentRow(int row) {
  int count = rowCount();
  if (row >= count) row = count - 1;
  if (row < 0 && count > 0) row = 0;
  if (row == current_) return;
  // Leaving a new row that was never filled drops it.
  if (pending_ && current_ == count - 1 && row != current_) {
    if (PendingEmpty()) {
      Cancel();
      if (row >= rowCount()) row = rowCount() - 1;
    }
  }
  current_ = row;
  emit currentRowChanged(current_);
}

bool TDataSource::PendingEmpty() const {
  if (!pending_) return false;
  for (const auto& v : *pending_)
    if (!v.isEmpty()) return false;
  return true;
}

void TDataSource::First() { SetCurrentRow(0); }
void TDataSource::Prior() { SetCurrentRow(std::max(0, current_ - 1)); }
void TDataSource::Next() { SetCurrentRow(current_ + 1); }
void TDataSource::Last() { SetCurrentRow(rowCount() - 1); }

void TDataSource::Insert() {
  if (!CanModify() || pending_) return;
  int at = rowCount();
  beginInsertRows(QModelIndex(), at, at);
  pending_ = QStringList();
  for (int i = 0; i < columnCount(); ++i) pending_->append(QString());
  endInsertRows();
  current_ = -1;
  SetCurrentRow(at);
  emit stateChanged();
}

bool TDataSource::Post() {
  if (!pending_) return true;
  std::vector<std::string> values;
  for (const auto& v : *pending_) values.push_back(v.toStdString());
  try {
    query_->InsertRow(values);
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, "Ошибка записи в таблицу");
    return false;
  }
  // The stored row takes the place of the pending one.
  pending_.reset();
  int row = rowCount() - 1;
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
  emit headerDataChanged(Qt::Vertical, row, row);
  emit stateChanged();
  return true;
}

void TDataSource::Cancel() {
  if (!pending_) return;
  int at = rowCount() - 1;
  beginRemoveRows(QModelIndex(), at, at);
  pending_.reset();
  endRemoveRows();
  if (current_ >= rowCount()) current_ = rowCount() - 1;
  emit currentRowChanged(current_);
  emit stateChanged();
}

bool TDataSource::Delete() {
  if (!CanModify() || current_ < 0) return false;
  if (pending_ && current_ == rowCount() - 1) {
    Cancel();
    return true;
  }
  if (!AskQuestion("Удалить запись?")) return false;
  try {
    int row = current_;
    query_->DeleteRow(row);
    beginRemoveRows(QModelIndex(), row, row);
    endRemoveRows();
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, "Ошибка удаления записи");
    return false;
  }
  int keep = current_;
  current_ = -1;
  SetCurrentRow(keep);
  emit stateChanged();
  return true;
}

void TDataSource::Refresh() {
  if (!Active()) return;
  try {
    query_->Refresh();
  } catch (const EDBEngineError& e) {
    ShowExceptionInfo(e, "Не могу обновить данные");
  }
  Reload();
}

}  // namespace drs
