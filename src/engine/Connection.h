// The engine's SQLite connection: a private in-memory database with the
// dBASE module, whose tables are made on first use from the files of one
// folder (or the files SetTableFile names).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "engine/SqliteHandle.h"

namespace drs {

class Connection {
 public:
  // True when a statement for database name `database` needs the connection
  // made anew (none yet, or its folder is another): drop the statements of
  // this one, then Open. An absolute folder resolves the same every time;
  // "" and relative ones follow the working folder and are resolved anew.
  bool Stale(const std::string& database) {
    if (db_ && database == name_ && !database.empty() && (database[0] == '/' || database[0] == '\\'))
      return false;
    return StaleAfterResolving(database);
  }
  // A new connection in the folder the last Stale resolved.
  void Open();
  void Close() { db_.reset(); }

  // The table `table` is the file `path`; true when that changes what it
  // was, and tables made for the old file have to go (drop the statements,
  // then Close).
  bool SetTableFile(const std::string& table, const std::string& path);

  // Prepares one statement; a table it names that the connection lacks is
  // made from its file first. Throws EDBEngineError with `text`.
  StatementHandle Prepare(const std::string& text);

  sqlite3* Get() const { return db_.get(); }
  // The message and result code of the connection's last failure.
  const char* ErrorMessage() const;
  int ErrorCode() const;
  // The record number the last insert got (from 1); 0 without a connection.
  int64_t LastInsertRowId() const;

 private:
  bool StaleAfterResolving(const std::string& database);
  // The statement, or none when SQLite refuses it.
  StatementHandle TryPrepare(const std::string& text);
  // The table `name` made from its file (EDBEngineError when it has none).
  void MakeTable(const std::string& name, const std::string& text);

  DbHandle db_;
  std::string folder_;                             // folder the connection's tables resolve in
  std::string name_;                               // the database name it was last resolved from
  std::string pending_;                            // folder the next Open is for
  std::map<std::string, std::string> tableFiles_;  // folded table name -> file
  std::set<std::string> made_;                     // folded names of the tables made
};

}  // namespace drs
