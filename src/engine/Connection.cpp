#include "engine/Connection.h"

#include <sqlite3.h>

#include <cctype>

#include "engine/DbfModule.h"
#include "engine/EDBEngineError.h"
#include "engine/SqlName.h"
#include "engine/SqliteError.h"
#include "engine/TablePath.h"
#include "utils/TextCase.h"

namespace drs {

bool Connection::StaleAfterResolving(const std::string& database) {
  pending_ = ResolveFolder(database);
  name_ = database;
  return !db_ || pending_ != folder_;
}

void Connection::Open() {
  db_.reset();
  // The engine keeps no statistics of SQLite's memory; without them every
  // allocation skips a global lock.
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
  }();
  (void)configured;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  DbHandle opened(db);
  if (rc != SQLITE_OK) throw EDBEngineError("Не могу запустить табличный движок");
  RegisterDbfModule(opened.get());
  db_ = std::move(opened);
  made_.clear();
  folder_ = pending_;
}

bool Connection::SetTableFile(const std::string& table, const std::string& path) {
  auto& slot = tableFiles_[FoldCase(table)];
  if (slot == path) return false;
  slot = path;
  return true;
}

StatementHandle Connection::Prepare(const std::string& text) {
  // Tables are made on first use: when the statement does not prepare, the
  // ones it names that have files are made and it is prepared once more.
  StatementHandle st = TryPrepare(text);
  if (st) return st;
  for (const std::string& name : TableNamesIn(text)) MakeTable(name, text);
  st = TryPrepare(text);
  if (!st) throw EDBEngineError(EngineMessage(sqlite3_errmsg(db_.get()), text));
  return st;
}

StatementHandle Connection::TryPrepare(const std::string& text) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db_.get(), text.c_str(), int(text.size()), &raw, &tail);
  StatementHandle st(raw);
  if (rc != SQLITE_OK) return StatementHandle();
  if (!st) throw EDBEngineError("Пустой запрос");
  for (; tail && *tail; ++tail)
    if (!std::isspace(static_cast<unsigned char>(*tail)) && *tail != ';')
      throw EDBEngineError("В запросе больше одного оператора\nЗапрос: " + text);
  return st;
}

void Connection::MakeTable(const std::string& name, const std::string& text) {
  const std::string key = FoldCase(name);
  if (made_.count(key)) return;
  auto named = tableFiles_.find(key);
  const std::string file =
      named != tableFiles_.end() ? ResolveNamedFile(named->second) : ResolveTableFile(folder_, name);
  std::string literal = "'";
  for (char c : file) literal += c == '\'' ? std::string("''") : std::string(1, c);
  literal += "'";
  const std::string create =
      "CREATE VIRTUAL TABLE main." + QuoteIdentifier(name) + " USING dbf(" + literal + ")";
  char* err = nullptr;
  if (sqlite3_exec(db_.get(), create.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string e = err ? err : "Не могу открыть таблицу " + name;
    sqlite3_free(err);
    throw EDBEngineError(EngineMessage(e, text));
  }
  made_.insert(key);
}

const char* Connection::ErrorMessage() const { return sqlite3_errmsg(db_.get()); }

int Connection::ErrorCode() const { return sqlite3_errcode(db_.get()); }

int64_t Connection::LastInsertRowId() const { return db_ ? sqlite3_last_insert_rowid(db_.get()) : 0; }

}  // namespace drs
