// The editable result of "select <columns> from <table>": rows by index,
// read from the table as they are asked for; each change reaches the file
// at once.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/DbValue.h"
#include "engine/SqliteHandle.h"

namespace drs {

class Connection;

class LiveResult {
 public:
  // The rows of `statement`, whose result columns are `fields`, on
  // `connection` (which must outlive it). Throws EDBEngineError when the
  // statement is not of that shape or a column is no field of the table.
  LiveResult(Connection& connection, const std::string& statement, const std::vector<FieldInfo>& fields);

  int64_t RowCount() const { return int64_t(rowids_.size()); }
  const std::vector<DbValue>& Row(int64_t index);
  // The value is text as the operator typed it ("" = blank).
  void SetCell(int64_t row, int field, const std::string& value);
  // Appends a record (one text per field) and returns its row index.
  int64_t InsertRow(const std::vector<std::string>& values);
  void DeleteRow(int64_t row);

 private:
  void CheckRow(int64_t row) const;
  // Runs a change statement to its end.
  void Run(sqlite3_stmt* st) const;
  // Binds the text of a field; blank is null except in text fields.
  void BindText(sqlite3_stmt* st, int at, const std::string& value, FieldKind kind) const;

  Connection& connection_;
  std::string statement_;
  std::string table_;  // as it stands in the statement
  std::vector<FieldInfo> fields_;
  std::vector<int64_t> rowids_;
  StatementHandle fetch_;
  std::unordered_map<int64_t, std::vector<DbValue>> cache_;
};

}  // namespace drs
