// Owners of SQLite's objects: a connection is closed and a statement
// finalized when its owner goes, on every path out, exceptions included.
#pragma once

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace drs {

struct SqliteCloser {
  // A connection closed while a statement of it still lives is closed when
  // that statement is finalized.
  void operator()(sqlite3* db) const;
};

struct StatementFinalizer {
  void operator()(sqlite3_stmt* st) const;
};

using DbHandle = std::unique_ptr<sqlite3, SqliteCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Resets a statement when the scope ends, so one that failed half-way is
// ready to run again whichever way the scope was left.
class StatementReset {
 public:
  explicit StatementReset(sqlite3_stmt* st) : st_(st) {}
  ~StatementReset();
  StatementReset(const StatementReset&) = delete;
  StatementReset& operator=(const StatementReset&) = delete;

 private:
  sqlite3_stmt* st_;
};

}  // namespace drs
