#include "engine/LiveResult.h"

#include <sqlite3.h>

#include <regex>

#include "engine/Connection.h"
#include "engine/EDBEngineError.h"
#include "engine/SqlName.h"
#include "engine/SqliteError.h"

namespace drs {

LiveResult::LiveResult(Connection& connection, const std::string& statement,
                       const std::vector<FieldInfo>& fields)
    : connection_(connection), statement_(statement), fields_(fields) {
  static const std::regex shape(R"(^\s*select\s+([\s\S]+?)\s+from\s+("(?:[^"]|"")+"|[^\s";]+)\s*;?\s*$)",
                                std::regex::icase);
  std::smatch m;
  if (!std::regex_match(statement_, m, shape))
    throw EDBEngineError(
        "Результат запроса нельзя изменять: нужен запрос вида select <поля> from <таблица>\nЗапрос: " +
        statement_);
  table_ = m[2].str();
  std::string cols;
  for (const auto& f : fields_) {
    if (f.kind == FieldKind::Other)
      throw EDBEngineError("Результат запроса нельзя изменять: столбец " + f.name +
                           " не является полем таблицы\nЗапрос: " + statement_);
    cols += (cols.empty() ? "" : ",") + QuoteIdentifier(f.name);
  }
  {
    StatementHandle ids = connection_.Prepare("select rowid from " + table_);
    int rc;
    while ((rc = sqlite3_step(ids.get())) == SQLITE_ROW)
      rowids_.push_back(sqlite3_column_int64(ids.get(), 0));
    if (rc != SQLITE_DONE)
      ThrowStatementError(connection_.ErrorCode(), connection_.ErrorMessage(), statement_);
  }
  fetch_ = connection_.Prepare("select " + cols + " from " + table_ + " where rowid=?1");
}

void LiveResult::CheckRow(int64_t row) const {
  if (row < 0 || row >= RowCount()) throw EDBEngineError("Нет строки номер " + std::to_string(row + 1));
}

void LiveResult::Run(sqlite3_stmt* st) const {
  if (sqlite3_step(st) != SQLITE_DONE)
    ThrowStatementError(connection_.ErrorCode(), connection_.ErrorMessage(), statement_);
}

void LiveResult::BindText(sqlite3_stmt* st, int at, const std::string& value, FieldKind kind) const {
  if (value.empty() && kind != FieldKind::Text)
    sqlite3_bind_null(st, at);
  else
    sqlite3_bind_text(st, at, value.data(), int(value.size()), SQLITE_TRANSIENT);
}

const std::vector<DbValue>& LiveResult::Row(int64_t index) {
  CheckRow(index);
  int64_t rowid = rowids_[size_t(index)];
  auto it = cache_.find(rowid);
  if (it != cache_.end()) return it->second;
  if (cache_.size() > 4096) cache_.clear();
  sqlite3_stmt* fetch = fetch_.get();
  StatementReset done(fetch);
  sqlite3_reset(fetch);
  sqlite3_bind_int64(fetch, 1, rowid);
  int rc = sqlite3_step(fetch);
  std::vector<DbValue> row(fields_.size());
  if (rc == SQLITE_ROW) {
    for (int i = 0; i < int(fields_.size()); ++i) row[size_t(i)] = ColumnValue(fetch, i);
  } else if (rc != SQLITE_DONE) {
    throw EDBEngineError(EngineMessage(connection_.ErrorMessage(), statement_));
  }
  return cache_.emplace(rowid, std::move(row)).first->second;
}

void LiveResult::SetCell(int64_t row, int field, const std::string& value) {
  CheckRow(row);
  if (field < 0 || field >= int(fields_.size()))
    throw EDBEngineError("Нет поля номер " + std::to_string(field + 1));
  const FieldInfo& f = fields_[size_t(field)];
  StatementHandle st =
      connection_.Prepare("update " + table_ + " set " + QuoteIdentifier(f.name) + "=?1 where rowid=?2");
  BindText(st.get(), 1, value, f.kind);
  int64_t rowid = rowids_[size_t(row)];
  sqlite3_bind_int64(st.get(), 2, rowid);
  Run(st.get());
  cache_.erase(rowid);
}

int64_t LiveResult::InsertRow(const std::vector<std::string>& values) {
  std::string cols, marks;
  for (size_t i = 0; i < fields_.size(); ++i) {
    cols += (i ? "," : "") + QuoteIdentifier(fields_[i].name);
    marks += (i ? ",?" : "?") + std::to_string(i + 1);
  }
  StatementHandle st =
      connection_.Prepare("insert into " + table_ + " (" + cols + ") values (" + marks + ")");
  for (size_t i = 0; i < fields_.size(); ++i)
    BindText(st.get(), int(i) + 1, i < values.size() ? values[i] : std::string(), fields_[i].kind);
  Run(st.get());
  rowids_.push_back(connection_.LastInsertRowId());
  return RowCount() - 1;
}

void LiveResult::DeleteRow(int64_t row) {
  CheckRow(row);
  StatementHandle st = connection_.Prepare("delete from " + table_ + " where rowid=?1");
  int64_t rowid = rowids_[size_t(row)];
  sqlite3_bind_int64(st.get(), 1, rowid);
  Run(st.get());
  rowids_.erase(rowids_.begin() + row);
  cache_.erase(rowid);
}

}  // namespace drs
