#include "engine/Query.h"

#include <sqlite3.h>

#include "engine/DbfModule.h"
#include "engine/LiveResult.h"
#include "engine/SqlName.h"
#include "engine/SqliteError.h"

namespace drs {

TQuery::TQuery() = default;

TQuery::~TQuery() { Close(); }

void TQuery::Fail(const std::string& what) const { throw EDBEngineError(what); }

void TQuery::FailStatement(int rc, const std::string& message) const {
  ThrowStatementError(rc, message, sql_.Text());
}

void TQuery::DropStatement() {
  Close();
  stmt_.reset();
}

void TQuery::SetDatabaseName(const std::string& folder) {
  if (folder == database_) return;
  Close();
  database_ = folder;
  stmt_.reset();
}

void TQuery::SetTableFile(const std::string& table, const std::string& path) {
  if (!connection_.SetTableFile(table, path)) return;
  // Tables already made in the connection would still stand for their old files.
  DropStatement();
  connection_.Close();
}

void TQuery::SetSQL(const std::string& text) {
  DropStatement();
  sql_.SetTemplate(text);
  RegenerateSQL();
}

void TQuery::SetSQL(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
  SetSQL(text);
}

void TQuery::SetMacro(const std::string& name, const std::string& value) { sql_.SetMacro(name, value); }

void TQuery::RegenerateSQL() {
  if (sql_.Regenerate()) DropStatement();
}

void TQuery::SetString(const std::string& name, const std::string& value) { sql_.SetString(name, value); }

void TQuery::SetFloat(const std::string& name, double value) { sql_.SetFloat(name, value); }

void TQuery::SetDate(const std::string& name, int year, int month, int day) {
  sql_.SetDate(name, year, month, day);
}

void TQuery::SetNull(const std::string& name) { sql_.SetNull(name); }

void TQuery::EnsurePrepared() {
  if (connection_.Stale(database_)) {
    DropStatement();
    connection_.Open();
  }
  if (!stmt_) {
    stmt_ = connection_.Prepare(sql_.Text());
    stmtSlots_ = sql_.SlotsFor(stmt_.get());
  }
}

void TQuery::ExecSQL() {
  if (active_) Close();
  EnsurePrepared();
  // Every record deleted: the table is emptied at once, not record by record
  // after SQLite has kept every record number.
  std::string table, error;
  if (sqlite3_get_autocommit(connection_.Get()) && WholeTableDelete(sql_.Text(), table)) {
    const int rc = ClearDbfTable(connection_.Get(), table, error);
    if (rc == SQLITE_OK) return;
    if (rc != -1) FailStatement(rc, error);
  }
  sqlite3_stmt* st = stmt_.get();
  sql_.Bind(st, stmtSlots_, true);
  StatementReset done(st);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) FailStatement(rc, connection_.ErrorMessage());
}

void TQuery::ReadCurrentRow() {
  int n = sqlite3_column_count(stmt_.get());
  current_.resize(size_t(n));
  for (int i = 0; i < n; ++i) current_[size_t(i)] = ColumnValue(stmt_.get(), i);
}

void TQuery::StepCursor() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) {
    ReadCurrentRow();
    eof_ = false;
    return;
  }
  eof_ = true;
  current_.assign(fields_.size(), DbValue::Null());
  if (rc != SQLITE_DONE) {
    std::string msg = connection_.ErrorMessage();
    sqlite3_reset(stmt_.get());
    active_ = false;
    Fail(EngineMessage(msg, sql_.Text()));
  }
}

void TQuery::OpenColumns() {
  Close();
  EnsurePrepared();
  sqlite3_stmt* st = stmt_.get();
  const int columns = sqlite3_column_count(st);
  if (columns == 0) Fail("Запрос не возвращает строк\nЗапрос: " + sql_.Text());
  fields_.clear();
  for (int i = 0; i < columns; ++i) fields_.push_back(ColumnField(st, i));
}

void TQuery::Open() {
  OpenColumns();
  if (requestLive_) {
    active_ = true;
    try {
      OpenLive();
    } catch (...) {
      Close();
      throw;
    }
    return;
  }
  sql_.Bind(stmt_.get(), stmtSlots_);
  active_ = true;
  StepCursor();
}

void TQuery::OpenFrom(std::unique_ptr<RowSource> rows) {
  OpenColumns();
  source_ = std::move(rows);
  active_ = true;
  try {
    First();
  } catch (...) {
    Close();
    throw;
  }
}

void TQuery::Close() {
  if (stmt_) sqlite3_reset(stmt_.get());
  active_ = false;
  eof_ = true;
  current_.clear();
  rows_.reset();
  recordCount_.reset();
  live_.reset();
  source_.reset();
  sourceRowIndex_ = -1;
}

int TQuery::FieldCount() const { return int(fields_.size()); }

std::vector<std::string> TQuery::FieldNames() const {
  std::vector<std::string> names;
  for (const auto& f : fields_) names.push_back(f.name);
  return names;
}

const FieldInfo& TQuery::Field(int index) const {
  if (index < 0 || index >= int(fields_.size())) Fail("Нет поля номер " + std::to_string(index + 1));
  return fields_[size_t(index)];
}

int TQuery::FieldIndex(const std::string& name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (SameName(fields_[i].name, name)) return int(i);
  return -1;
}

void TQuery::First() {
  if (!active_) Fail("Запрос не открыт");
  if (live_ || source_) {
    livePos_ = 0;
    eof_ = RecordCount() == 0;
    current_ = eof_ ? std::vector<DbValue>(fields_.size()) : Row(0);
    return;
  }
  sqlite3_reset(stmt_.get());
  sql_.Bind(stmt_.get(), stmtSlots_);
  StepCursor();
}

void TQuery::Next() {
  if (!active_ || eof_) return;
  if (live_ || source_) {
    ++livePos_;
    eof_ = livePos_ >= RecordCount();
    if (!eof_) current_ = Row(livePos_);
    return;
  }
  StepCursor();
}

const DbValue& TQuery::Value(int field) const {
  if (!active_) Fail("Запрос не открыт");
  if (field < 0 || field >= int(current_.size())) Fail("Нет поля номер " + std::to_string(field + 1));
  return current_[size_t(field)];
}

const DbValue& TQuery::Value(const std::string& field) const {
  int i = FieldIndex(field);
  if (i < 0) Fail("Нет поля " + field);
  return Value(i);
}

int64_t TQuery::RecordCount() {
  if (!active_) Fail("Запрос не открыт");
  if (live_) return live_->RowCount();
  if (source_) return source_->RowCount();
  if (rows_) return int64_t(rows_->size());
  if (!recordCount_) {
    StatementHandle count = connection_.Prepare(CountStatement(sql_.Text()));
    BoundSlots slots = sql_.SlotsFor(count.get());
    sql_.Bind(count.get(), slots);
    int rc = sqlite3_step(count.get());
    if (rc != SQLITE_ROW) FailStatement(connection_.ErrorCode(), connection_.ErrorMessage());
    recordCount_ = sqlite3_column_int64(count.get(), 0);
  }
  return *recordCount_;
}

void TQuery::LoadAllRows() {
  StatementHandle all = connection_.Prepare(sql_.Text());
  sqlite3_stmt* st = all.get();
  BoundSlots slots = sql_.SlotsFor(st);
  sql_.Bind(st, slots);
  std::vector<std::vector<DbValue>> rows;
  int rc;
  int n = sqlite3_column_count(st);
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::vector<DbValue> row(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) row[size_t(i)] = ColumnValue(st, i);
    rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) FailStatement(connection_.ErrorCode(), connection_.ErrorMessage());
  rows_ = std::move(rows);
}

const std::vector<DbValue>& TQuery::Row(int64_t index) {
  if (!active_) Fail("Запрос не открыт");
  if (live_) return live_->Row(index);
  if (source_) {
    if (index < 0 || index >= source_->RowCount()) Fail("Нет строки номер " + std::to_string(index + 1));
    if (index != sourceRowIndex_) {
      sourceRowIndex_ = -1;
      source_->ReadRow(index, sourceRow_);
      sourceRowIndex_ = index;
    }
    return sourceRow_;
  }
  if (!rows_) LoadAllRows();
  if (index < 0 || index >= int64_t(rows_->size())) Fail("Нет строки номер " + std::to_string(index + 1));
  return (*rows_)[size_t(index)];
}

void TQuery::OpenLive() {
  live_ = std::make_unique<LiveResult>(connection_, sql_.Text(), fields_);
  livePos_ = 0;
  eof_ = live_->RowCount() == 0;
  current_.assign(fields_.size(), DbValue::Null());
  if (!eof_) current_ = Row(0);
}

void TQuery::SetCell(int64_t row, int field, const std::string& value) {
  if (!live_) Fail("Результат запроса нельзя изменять");
  live_->SetCell(row, field, value);
}

int64_t TQuery::InsertRow(const std::vector<std::string>& values) {
  if (!live_) Fail("Результат запроса нельзя изменять");
  return live_->InsertRow(values);
}

void TQuery::DeleteRow(int64_t row) {
  if (!live_) Fail("Результат запроса нельзя изменять");
  live_->DeleteRow(row);
}

void TQuery::Refresh() {
  if (!active_) return;
  if (live_) {
    live_.reset();
    try {
      OpenLive();
    } catch (...) {
      Close();
      throw;
    }
    return;
  }
  Open();
}

}  // namespace drs
