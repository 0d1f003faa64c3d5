// The table engine's front door: SQL statements over dBASE III files.
//
//   drs::TQuery q;
//   q.SetDatabaseName(folder);               // "" = current working folder
//   q.SetSQL({"insert into %M (CLIENTID,TICKER)", "values", "(:CLIENTID,:TICKER)"});
//   q.SetMacro("M", drs::MacroTableName(table));  // a table name for %M
//   q.RegenerateSQL();                       // %M holds "0=0" until set
//   for (...) {                              // prepared once, re-executed
//     q.SetString("CLIENTID", a); q.SetString("TICKER", b);
//     q.ExecSQL();
//   }
//   q.SetSQL("select * from \"" + table + "\"");
//   q.Open();                                // cursor on the first row
//   for (; !q.Eof(); q.Next()) use(q.AsString(0), q.AsFloat("QTY"));
//   q.RecordCount(); q.FieldNames(); q.Close();
//
// A table name resolves to the file SetTableFile gave it, else to
// <folder>/<name>.DBF: the file of exactly that name, or the one file whose
// name differs from it only in letter case. Every failure throws EDBEngineError with Russian message
// lines. A live query (SetRequestLive) over "select <columns> from <table>"
// gives rows by index that can be edited, inserted and deleted; each change
// reaches the file at once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Connection.h"
#include "engine/DbValue.h"
#include "engine/EDBEngineError.h"
#include "engine/SqlName.h"
#include "engine/SqlText.h"
#include "engine/SqliteHandle.h"

namespace drs {

class LiveResult;

// Rows a caller already holds or can read faster than the statement,
// given in its place (TQuery::OpenFrom).
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual int64_t RowCount() const = 0;
  // Row `index` (from 0): one value per column of the statement.
  virtual void ReadRow(int64_t index, std::vector<DbValue>& row) = 0;
};

class TQuery {
 public:
  TQuery();
  ~TQuery();
  TQuery(const TQuery&) = delete;
  TQuery& operator=(const TQuery&) = delete;

  // The folder whose .DBF files are the tables; "" is the current working
  // folder at the time of each statement. `/` and `\` both separate folders.
  void SetDatabaseName(const std::string& folder);

  // The table `table` of the statements is the file `path`, whatever its
  // extension (a relative path is taken from the working folder of each
  // statement). Other tables are <name>.DBF in the database folder.
  void SetTableFile(const std::string& table, const std::string& path);

  // The statement text (lines are joined with line breaks). Setting it closes
  // the query, regenerates the text and drops the prepared statement.
  void SetSQL(const std::string& text);
  void SetSQL(const std::vector<std::string>& lines);
  // Macros %NAME in the template; each holds "0=0" until set.
  void SetMacro(const std::string& name, const std::string& value);
  // Replaces the macros of the template by their values.
  void RegenerateSQL();
  // The statement as it will be prepared.
  const std::string& Text() const { return sql_.Text(); }

  // Named parameters :NAME, bound by name without regard to case. Values
  // stay bound across executions until changed.
  void SetString(const std::string& name, const std::string& value);
  void SetFloat(const std::string& name, double value);
  // The same by a parameter's index (ParamIndex), for a statement run per row.
  size_t ParamIndex(const std::string& name) { return sql_.ParamIndex(name); }
  void SetString(size_t param, std::string_view value) { sql_.SetString(param, value); }
  void SetFloat(size_t param, double value) { sql_.SetFloat(param, value); }
  // A calendar date; throws EConvertError for an impossible date.
  void SetDate(const std::string& name, int year, int month, int day);
  void SetNull(const std::string& name);

  // Runs a statement that returns no rows.
  void ExecSQL();
  // Runs a select and stands on its first row.
  void Open();
  void Close();
  bool Active() const { return active_; }
  // Opens the select with its rows taken from `rows` as they are asked for,
  // which must be what the statement would read; the statement is prepared
  // for its columns but not run. Refresh runs it.
  void OpenFrom(std::unique_ptr<RowSource> rows);

  // Results of an open query.
  int FieldCount() const;
  std::vector<std::string> FieldNames() const;
  const FieldInfo& Field(int index) const;
  int FieldIndex(const std::string& name) const;  // -1 when missing, case ignored
  int64_t RecordCount();

  // Cursor access.
  bool Eof() const { return eof_; }
  void First();
  void Next();
  const DbValue& Value(int field) const;
  const DbValue& Value(const std::string& field) const;
  std::string AsString(int field) const { return Value(field).AsString(); }
  std::string AsString(const std::string& field) const { return Value(field).AsString(); }
  double AsFloat(int field) const { return Value(field).AsFloat(); }
  double AsFloat(const std::string& field) const { return Value(field).AsFloat(); }

  // Rows by index (from 0); the whole result is read on first use unless the
  // query is live, where rows are read from the table as they are asked for.
  const std::vector<DbValue>& Row(int64_t index);

  // Live results. Only "select <columns> from <table>" can be live.
  void SetRequestLive(bool live) { requestLive_ = live; }
  bool CanModify() const { return live_ != nullptr; }
  // Writes one cell; the value is text as the operator typed it ("" = blank).
  void SetCell(int64_t row, int field, const std::string& value);
  // Appends a record with the given texts (one per field, "" = blank) and
  // returns its row index.
  int64_t InsertRow(const std::vector<std::string>& values);
  void DeleteRow(int64_t row);
  // Reads the table again (row count and contents).
  void Refresh();

 private:
  // Closes the query and drops its prepared statement.
  void DropStatement();
  void EnsurePrepared();
  // Closes, prepares the select and takes its columns; fails for a
  // statement that returns no rows.
  void OpenColumns();
  void ReadCurrentRow();
  void StepCursor();
  void LoadAllRows();
  void OpenLive();
  [[noreturn]] void Fail(const std::string& what) const;
  // The failure of the last step of a statement, with its scope.
  [[noreturn]] void FailStatement(int rc, const std::string& message) const;

  std::string database_;
  SqlText sql_;
  bool requestLive_ = false;

  // Declared in the order they are made; statements go before their connection.
  Connection connection_;
  StatementHandle stmt_;
  BoundSlots stmtSlots_;  // parameter slot per statement parameter
  bool active_ = false;
  bool eof_ = true;
  std::vector<FieldInfo> fields_;
  std::vector<DbValue> current_;
  std::optional<int64_t> recordCount_;
  std::optional<std::vector<std::vector<DbValue>>> rows_;
  std::unique_ptr<LiveResult> live_;
  int64_t livePos_ = 0;  // the cursor's row of a live result or a source
  std::unique_ptr<RowSource> source_;
  std::vector<DbValue> sourceRow_;
  int64_t sourceRowIndex_ = -1;
};

}  // namespace drs
