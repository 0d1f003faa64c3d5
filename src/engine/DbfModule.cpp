#include "engine/DbfModule.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/DbfFile.h"
#include "engine/DbfFormat.h"
#include "engine/EDBEngineError.h"
#include "engine/RecordOrder.h"
#include "engine/SqlName.h"
#include "utils/TextCase.h"

// The module's methods follow in the order of sqlite3_module, after the
// helpers they share.
namespace drs {

namespace {

constexpr int kScanAll = 0;
constexpr int kByRowid = 1;
constexpr int kByField = 100;  // + field number: equality on a text field
// Added to the above: rows come in the order of the columns listed in idxStr,
// or, with kDistinct too, one row for each value of those columns, in the
// order the values are first met.
constexpr int kOrdered = 1 << 16;
constexpr int kDistinct = 1 << 17;

struct DbfVtab;

// The module's tables of one connection by name, folded as SQLite folds
// names (ASCII letters only).
struct DbfTables {
  sqlite3* db = nullptr;
  std::map<std::string, DbfVtab*> byName;
};

std::string TableKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return key;
}

struct DbfVtab : sqlite3_vtab {
  DbfTables* tables = nullptr;
  std::string name;  // as TableKey gives it
  std::string path;
  std::shared_ptr<DbfFile> file;
  // Changes of the running transaction, written when it commits. Appended
  // records beyond kAheadBytes are written past the counted ones early.
  std::string appends;
  uint32_t appendCount = 0;    // all appended in the transaction
  uint32_t bufferedCount = 0;  // of these, still in `appends`
  std::map<uint32_t, std::string> updates;
  std::vector<uint32_t> deletes;
  bool writing = false;  // between BeginWrite and EndWrite
};

struct DbfCursor : sqlite3_vtab_cursor {
  std::shared_ptr<DbfFile> file;
  uint32_t count = 0;                         // records when the scan began
  std::shared_ptr<const RecordCopy> records;  // all of them, when visited out of order
  std::vector<uint32_t> list;                 // records to visit when not scanning all
  bool useList = false;
  size_t listPos = 0;
  uint32_t record = 0;  // current record number (from 0)
  bool eof = true;
  std::string buf;  // a chunk of records
  uint32_t bufFirst = 0, bufCount = 0;
  const char* current = nullptr;
};

void SetError(sqlite3_vtab* vt, const std::string& msg) {
  sqlite3_free(vt->zErrMsg);
  vt->zErrMsg = sqlite3_mprintf("%s", msg.c_str());
}

// The message of a failure caught at the module's edge.
std::string ErrorText(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "Недостаточно памяти для работы с таблицей";
  return e.what();
}

constexpr size_t kAheadBytes = 1 << 20;

// The value as the field codec takes it; text stays where SQLite holds it.
DbfValue ValueOf(sqlite3_value* v) {
  DbfValue out;
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      break;
    case SQLITE_INTEGER:
      out.kind = DbfValue::Kind::Int;
      out.integer = sqlite3_value_int64(v);
      break;
    case SQLITE_FLOAT:
      out.kind = DbfValue::Kind::Real;
      out.real = sqlite3_value_double(v);
      break;
    default: {
      out.kind = DbfValue::Kind::Text;
      const unsigned char* t = sqlite3_value_text(v);
      if (t) out.text = std::string_view(reinterpret_cast<const char*>(t), size_t(sqlite3_value_bytes(v)));
    }
  }
  return out;
}

// The text of an SQL value, for lookups by a field's text.
std::string ValueText(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_value_bytes(v))) : std::string();
}

void ResultField(sqlite3_context* ctx, const DbfField& f, const char* record) {
  DbfFieldValue v;
  DecodeDbfField(f, record, v);
  switch (v.kind) {
    case DbfValue::Kind::Null:
      return sqlite3_result_null(ctx);
    case DbfValue::Kind::Int:
      return sqlite3_result_int64(ctx, v.integer);
    case DbfValue::Kind::Real:
      return sqlite3_result_double(ctx, v.real);
    case DbfValue::Kind::Text:
      return sqlite3_result_text(ctx, v.text.data(), int(v.text.size()), SQLITE_TRANSIENT);
  }
}

const char* DeclType(const DbfField& f) {
  switch (f.type) {
    case 'N':
    case 'F':
      return f.decimals == 0 ? "INTEGER" : "REAL";
    case 'D':
      return "DATE";
    case 'L':
      return "BOOLEAN";
    default:
      return "TEXT";
  }
}

// The file the vtab stands for, checked through its descriptor and opened
// again when it was replaced.
void Refresh(DbfVtab* vt, bool reading) {
  if (!vt->file->Current(reading)) vt->file = DbfFile::Acquire(vt->path);
}

void EndWrite(DbfVtab* vt) {
  if (vt->writing) vt->file->EndWrite();
  vt->writing = false;
}

void Discard(DbfVtab* vt) {
  vt->appends.clear();
  vt->appendCount = 0;
  vt->bufferedCount = 0;
  vt->updates.clear();
  vt->deletes.clear();
}

// A write holds the file's exclusive lock until it commits or rolls back.
// Taken at the transaction's start, or at its first change when the table
// was made inside the transaction (SQLite then skips xBegin).
void StartWrite(DbfVtab* vt) {
  if (vt->writing) return;
  // A file opened read-only may have been made writable since.
  if (!vt->file->Writable()) Refresh(vt, false);
  // A file removed or replaced while we waited for its lock: the new one.
  for (int attempt = 0; !vt->file->BeginWrite(); ++attempt) {
    if (attempt == 8) throw EDBEngineError("Файл " + vt->path + " постоянно заменяется другой программой");
    vt->file = DbfFile::Acquire(vt->path);
  }
  vt->writing = true;
}

// Loads the record into the cursor: from the records in memory when there
// are, else reading ahead a chunk when scanning, one record when not.
void Load(DbfCursor* c) {
  const size_t length = c->file->RecordLength();
  if (c->records) {
    c->current = c->records->data() + size_t(c->record) * length;
    return;
  }
  if (c->record >= c->bufFirst && c->record < c->bufFirst + c->bufCount) {
    c->current = c->buf.data() + size_t(c->record - c->bufFirst) * length;
    return;
  }
  uint32_t n = c->useList ? 1 : std::min<uint32_t>(4096, c->count - c->record);
  c->file->ReadRecords(c->record, n, c->buf);
  c->bufFirst = c->record;
  c->bufCount = n;
  c->current = c->buf.data();
}

// Moves to the first record at or after the current position that is live.
void Settle(DbfCursor* c) {
  while (true) {
    if (c->useList) {
      if (c->listPos >= c->list.size()) break;
      c->record = c->list[c->listPos];
    }
    if (c->record >= c->count) break;
    Load(c);
    if (c->current[0] != '*') return;
    if (c->useList)
      ++c->listPos;
    else
      ++c->record;
  }
  c->eof = true;
}

// The module's argument is an SQL string literal.
std::string Unquote(const char* arg) {
  std::string s(arg);
  if (s.size() >= 2 && (s[0] == '\'' || s[0] == '"')) {
    char q = s[0];
    std::string out;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
      out += s[i];
      if (s[i] == q && s[i + 1] == q) ++i;
    }
    return out;
  }
  return s;
}

// xCreate and xConnect alike: the table's columns are the file's fields.
int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
  if (argc < 4) {
    *err = sqlite3_mprintf("%s", "Не задан файл таблицы");
    return SQLITE_ERROR;
  }
  auto* vt = new DbfVtab();
  try {
    vt->path = Unquote(argv[3]);
    vt->file = DbfFile::Acquire(vt->path);
    std::string sql = "CREATE TABLE x(";
    const auto& fields = vt->file->Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      for (size_t j = 0; j < i; ++j)
        if (SameText(fields[j].name, fields[i].name))
          throw EDBEngineError("Файл " + vt->path + " повреждён: поле " + fields[i].name + " описано дважды");
      sql += (i ? "," : "") + QuoteIdentifier(fields[i].name) + " " + DeclType(fields[i]);
    }
    sql += ")";
    if (sqlite3_declare_vtab(db, sql.c_str()) != SQLITE_OK)
      throw EDBEngineError("Файл " + vt->path + ": недопустимые имена полей");
  } catch (const std::exception& e) {
    *err = sqlite3_mprintf("%s", ErrorText(e).c_str());
    delete vt;
    return SQLITE_ERROR;
  }
  vt->tables = static_cast<DbfTables*>(aux);
  vt->name = TableKey(argv[2]);
  vt->tables->byName[vt->name] = vt;
  *out = vt;
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  auto* vt = static_cast<DbfVtab*>(v);
  double rows = double(vt->file->RecordCount()) + 1;
  int rowidTerm = -1, fieldTerm = -1;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    if (c.iColumn == -1) {
      rowidTerm = i;
    } else if (fieldTerm < 0 && c.iColumn >= 0) {
      char t = vt->file->Fields()[size_t(c.iColumn)].type;
      if (t != 'N' && t != 'F' && t != 'D' && t != 'L') fieldTerm = i;
    }
  }
  if (rowidTerm >= 0) {
    info->idxNum = kByRowid;
    info->aConstraintUsage[rowidTerm].argvIndex = 1;
    info->aConstraintUsage[rowidTerm].omit = 1;
    info->estimatedCost = 1;
    info->estimatedRows = 1;
    info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
  } else if (fieldTerm >= 0) {
    info->idxNum = kByField + info->aConstraint[fieldTerm].iColumn;
    info->aConstraintUsage[fieldTerm].argvIndex = 1;
    info->aConstraintUsage[fieldTerm].omit = 0;  // SQLite checks the rows again
    info->estimatedCost = 10 + rows / 100;
    info->estimatedRows = sqlite3_int64(rows / 100) + 1;
  } else {
    info->idxNum = kScanAll;
    info->estimatedCost = rows * 10;
    info->estimatedRows = sqlite3_int64(rows);
  }
  // An ORDER BY, GROUP BY or DISTINCT on plain columns is served here
  // (grouping equal keys is far cheaper than SQLite's sort of every row or
  // its index of values). DISTINCT keeps the order in which values are met.
  const int distinct = info->nOrderBy > 0 ? sqlite3_vtab_distinct(info) : 0;
  if (info->idxNum != kByRowid && info->nOrderBy > 0 && info->nOrderBy <= 16 && distinct <= 2) {
    std::string cols;
    bool served = true;
    for (int i = 0; i < info->nOrderBy && served; ++i) {
      const auto& o = info->aOrderBy[i];
      served = !o.desc && o.iColumn >= 0 && size_t(o.iColumn) < vt->file->Fields().size();
      cols += std::to_string(o.iColumn) + " ";
    }
    if (served) {
      info->idxNum += kOrdered + (distinct == 2 ? kDistinct : 0);
      info->idxStr = sqlite3_mprintf("%s", cols.c_str());
      info->needToFreeIdxStr = 1;
      info->orderByConsumed = 1;
    }
  }
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* v) {
  auto* vt = static_cast<DbfVtab*>(v);
  EndWrite(vt);
  auto it = vt->tables->byName.find(vt->name);
  if (it != vt->tables->byName.end() && it->second == vt) vt->tables->byName.erase(it);
  delete vt;
  return SQLITE_OK;
}

int OpenCursor(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = new DbfCursor();
  return SQLITE_OK;
}

int CloseCursor(sqlite3_vtab_cursor* c) {
  delete static_cast<DbfCursor*>(c);
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* cur, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
  auto* c = static_cast<DbfCursor*>(cur);
  auto* vt = static_cast<DbfVtab*>(cur->pVtab);
  try {
    Refresh(vt, true);
    c->file = vt->file;
    c->count = c->file->RecordCount();
    c->records.reset();
    c->bufCount = 0;
    c->eof = false;
    c->useList = false;
    c->list.clear();
    c->listPos = 0;
    c->record = 0;
    const bool ordered = (idxNum & kOrdered) != 0, distinct = (idxNum & kDistinct) != 0;
    idxNum &= ~(kOrdered | kDistinct);
    if (idxNum == kByRowid && argc > 0) {
      c->useList = true;
      sqlite3_int64 r = sqlite3_value_int64(argv[0]);
      if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && r >= 1 && r <= c->count)
        c->list.push_back(uint32_t(r - 1));
    } else if (idxNum >= kByField && argc > 0) {
      c->useList = true;
      c->records = c->file->Records();
      if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
        if (const auto* rows = c->file->Lookup(idxNum - kByField, ValueText(argv[0]))) c->list = *rows;
      }
    }
    if (ordered && idxStr) {
      std::vector<int> cols;
      for (const char* p = idxStr; *p;) {
        char* end = nullptr;
        long col = std::strtol(p, &end, 10);
        if (end == p) break;
        if (col >= 0 && size_t(col) < c->file->Fields().size()) cols.push_back(int(col));
        p = end;
        while (*p == ' ') ++p;
      }
      if (!c->records) c->records = c->file->Records();
      if (!c->useList) {
        c->useList = true;
        c->list.resize(c->count);
        for (uint32_t i = 0; i < c->list.size(); ++i) c->list[i] = i;
      }
      const RecordSet set{c->records->data(), c->file->RecordLength()};
      if (distinct)
        FirstOfEachValue(c->file->Fields(), set, cols, c->list);
      else
        OrderRows(c->file->Fields(), set, cols, c->list);
    }
    if (c->records) c->count = uint32_t(c->records->size() / c->file->RecordLength());
    Settle(c);
  } catch (const std::exception& e) {
    SetError(cur->pVtab, ErrorText(e));
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* cur) {
  auto* c = static_cast<DbfCursor*>(cur);
  try {
    if (c->useList)
      ++c->listPos;
    else
      ++c->record;
    Settle(c);
  } catch (const std::exception& e) {
    SetError(cur->pVtab, ErrorText(e));
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* cur) { return static_cast<DbfCursor*>(cur)->eof; }

int Column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = static_cast<DbfCursor*>(cur);
  ResultField(ctx, c->file->Fields()[size_t(i)], c->current);
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* cur, sqlite3_int64* out) {
  *out = static_cast<DbfCursor*>(cur)->record + 1;
  return SQLITE_OK;
}

int Update(sqlite3_vtab* v, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  auto* vt = static_cast<DbfVtab*>(v);
  try {
    StartWrite(vt);
    const DbfFile& f = *vt->file;
    if (!f.Writable()) throw EDBEngineError("Файл " + vt->path + " открыт только для чтения");
    if (argc == 1) {
      sqlite3_int64 r = sqlite3_value_int64(argv[0]);
      if (r >= 1 && r <= f.RecordCount()) vt->deletes.push_back(uint32_t(r - 1));
      return SQLITE_OK;
    }
    bool insert = sqlite3_value_type(argv[0]) == SQLITE_NULL;
    if (insert && sqlite3_value_type(argv[1]) != SQLITE_NULL)
      throw EDBEngineError("Номер записи задаётся таблицей и не может быть указан");
    if (!insert && sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1]))
      throw EDBEngineError("Номер записи изменить нельзя");
    const auto& fields = f.Fields();
    if (insert) {
      // Straight into the transaction's buffer; a refused value takes its
      // record back out.
      size_t at = vt->appends.size();
      vt->appends.resize(at + f.RecordLength(), ' ');
      try {
        for (size_t i = 0; i < fields.size() && int(i) + 2 < argc; ++i)
          EncodeDbfField(fields[i], ValueOf(argv[i + 2]), vt->appends.data() + at);
      } catch (...) {
        vt->appends.resize(at);
        throw;
      }
      ++vt->appendCount;
      ++vt->bufferedCount;
      *rowid = sqlite3_int64(f.RecordCount()) + vt->appendCount;
      if (vt->appends.size() >= kAheadBytes && vt->updates.empty() && vt->deletes.empty()) {
        vt->file->WriteAhead(vt->appends, vt->bufferedCount);
        vt->appends.clear();
        vt->bufferedCount = 0;
      }
    } else {
      std::string rec(f.RecordLength(), ' ');
      for (size_t i = 0; i < fields.size() && int(i) + 2 < argc; ++i)
        EncodeDbfField(fields[i], ValueOf(argv[i + 2]), rec.data());
      sqlite3_int64 r = sqlite3_value_int64(argv[0]);
      if (r >= 1 && r <= f.RecordCount()) vt->updates[uint32_t(r - 1)] = std::move(rec);
    }
  } catch (const EDBEngineError& e) {
    SetError(v, e.what());
    // The statement's result code carries the scope to TQuery.
    return e.RowOnly() ? SQLITE_CONSTRAINT_VTAB : SQLITE_ERROR;
  } catch (const std::exception& e) {
    SetError(v, ErrorText(e));
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int Begin(sqlite3_vtab* v) {
  auto* vt = static_cast<DbfVtab*>(v);
  Discard(vt);
  EndWrite(vt);
  try {
    StartWrite(vt);
  } catch (const std::exception& e) {
    SetError(v, ErrorText(e));
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

// Writes the statement's changes: records first, the header that counts
// them last. Deleting every live record empties the file.
int Sync(sqlite3_vtab* v) {
  auto* vt = static_cast<DbfVtab*>(v);
  try {
    DbfFile& f = *vt->file;
    if (!vt->updates.empty()) {
      std::vector<std::pair<uint32_t, std::string>> recs(vt->updates.begin(), vt->updates.end());
      f.WriteRecords(recs);
    }
    if (!vt->deletes.empty()) {
      // Records written ahead sit where a cut file ends: mark instead.
      if (vt->deletes.size() >= f.LiveCount() && f.AheadCount() == 0)
        f.Truncate();
      else
        f.MarkDeleted(vt->deletes);
    }
    if (vt->appendCount > 0) f.Append(vt->appends, vt->bufferedCount);
  } catch (const std::exception& e) {
    Discard(vt);
    vt->file->DropAhead();
    SetError(v, ErrorText(e));
    return SQLITE_ERROR;
  }
  Discard(vt);
  return SQLITE_OK;
}

int Commit(sqlite3_vtab* v) {
  const int rc = Sync(v);
  EndWrite(static_cast<DbfVtab*>(v));
  return rc;
}

int Rollback(sqlite3_vtab* v) {
  auto* vt = static_cast<DbfVtab*>(v);
  Discard(vt);
  vt->file->DropAhead();
  EndWrite(vt);
  return SQLITE_OK;
}

sqlite3_module MakeModule() {
  sqlite3_module m{};
  m.iVersion = 1;
  m.xCreate = Connect;
  m.xConnect = Connect;
  m.xBestIndex = BestIndex;
  m.xDisconnect = Disconnect;
  m.xDestroy = Disconnect;
  m.xOpen = OpenCursor;
  m.xClose = CloseCursor;
  m.xFilter = Filter;
  m.xNext = Next;
  m.xEof = Eof;
  m.xColumn = Column;
  m.xRowid = Rowid;
  m.xUpdate = Update;
  m.xBegin = Begin;
  m.xSync = Sync;
  m.xCommit = Commit;
  m.xRollback = Rollback;
  return m;
}

// The table registries of the open connections.
std::mutex& ConnectionsMutex() {
  static std::mutex mutex;
  return mutex;
}
std::unordered_map<sqlite3*, DbfTables*>& Connections() {
  static std::unordered_map<sqlite3*, DbfTables*> connections;
  return connections;
}

}  // namespace

void RegisterDbfModule(sqlite3* db) {
  static const sqlite3_module module = MakeModule();
  auto* tables = new DbfTables{db, {}};
  {
    std::lock_guard<std::mutex> lock(ConnectionsMutex());
    Connections()[db] = tables;
  }
  sqlite3_create_module_v2(db, "dbf", &module, tables, [](void* aux) {
    auto* tables = static_cast<DbfTables*>(aux);
    {
      std::lock_guard<std::mutex> lock(ConnectionsMutex());
      Connections().erase(tables->db);
    }
    delete tables;
  });
}

int ClearDbfTable(sqlite3* db, std::string_view table, std::string& error) {
  DbfVtab* vt = nullptr;
  {
    std::lock_guard<std::mutex> lock(ConnectionsMutex());
    auto c = Connections().find(db);
    if (c == Connections().end()) return -1;
    auto t = c->second->byName.find(TableKey(table));
    if (t == c->second->byName.end()) return -1;
    vt = t->second;
  }
  // Inside a write of its own, or read-only: the statement's own way.
  if (vt->writing) return -1;
  try {
    Refresh(vt, true);
    if (!vt->file->Writable()) return -1;
    StartWrite(vt);
    DbfFile& f = *vt->file;
    bool done = f.AheadCount() == 0;
    // No live record: nothing to delete, the file stays as it is.
    if (done && f.LiveCount() > 0) f.Truncate();
    EndWrite(vt);
    return done ? SQLITE_OK : -1;
  } catch (const std::exception& e) {
    EndWrite(vt);
    error = ErrorText(e);
    return SQLITE_ERROR;
  }
}

}  // namespace drs
