#include "engine/Query.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <regex>
#include <unordered_map>

#include "engine/DbfModule.h"
#include "engine/TablePath.h"
#include "utils/Errors.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

namespace {

bool IsWordChar(unsigned char c) { return c == '_' || std::isalnum(c) || c >= 0x80; }

bool AsciiSameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return SameText(a, b);
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 || y >= 0x80) return SameText(a, b);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

// The engine's own messages are Russian already; SQLite's are put into
// Russian, so the operator never sees them in English.
std::string EngineMessage(const std::string& raw, const std::string& statement) {
  for (unsigned char c : raw)
    if (c >= 0x80) return raw;
  static const std::pair<std::regex, const char*> kKnown[] = {
      {std::regex("no such column: (.*)"), "Нет такого поля: $1"},
      {std::regex("table (.*) has no column named (.*)"), "В таблице $1 нет поля $2"},
      {std::regex("(\\d+) values for (\\d+) columns"), "Число значений ($1) не равно числу полей ($2)"},
      {std::regex("near \"(.*)\": syntax error"), "Синтаксическая ошибка в запросе около \"$1\""},
      {std::regex(".*syntax error.*|incomplete input"), "Синтаксическая ошибка в запросе"},
      {std::regex("no such table: (.*)"), "Таблица $1 не найдена"},
      {std::regex("no such function: (.*)"), "Нет такой функции: $1"},
      {std::regex("ambiguous column name: (.*)"), "Неоднозначное имя поля: $1"},
      {std::regex("misuse of aggregate.*"), "Неверное использование итоговой функции"},
      {std::regex("wrong number of arguments to function (.*)\\(\\)"),
       "Неверное число аргументов функции $1"},
      {std::regex("(too many|too few) columns.*|.*columns in result.*"), "Неверное число полей в запросе"},
      {std::regex("out of memory"), "Недостаточно памяти"},
      {std::regex("interrupted"), "Запрос прерван"},
  };
  std::string msg = "Ошибка выполнения запроса";
  for (const auto& [pattern, text] : kKnown) {
    if (std::regex_match(raw, pattern)) {
      msg = std::regex_replace(raw, pattern, text);
      break;
    }
  }
  return msg + "\nЗапрос: " + statement;
}

DbValue ColumnValue(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
      return DbValue::Int(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT:
      return DbValue::Float(sqlite3_column_double(st, i));
    case SQLITE_NULL:
      return DbValue::Null();
    default: {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      return DbValue::Text(t ? std::string(t, size_t(sqlite3_column_bytes(st, i))) : std::string());
    }
  }
}

FieldKind KindOf(const char* decl) {
  if (!decl) return FieldKind::Other;
  std::string d = decl;
  if (d == "TEXT") return FieldKind::Text;
  if (d == "INTEGER") return FieldKind::Integer;
  if (d == "REAL") return FieldKind::Float;
  if (d == "DATE") return FieldKind::Date;
  if (d == "BOOLEAN") return FieldKind::Logical;
  return FieldKind::Other;
}

// The statement without its final ORDER BY when nothing follows it: order
// never changes how many rows there are, and sorting is the dear part of a
// count. Anything else (a LIMIT after it, text it cannot follow) is kept.
std::string WithoutFinalOrder(const std::string& text) {
  size_t orderAt = std::string::npos;
  int depth = 0;
  auto word = [&](size_t i, const char* w) {
    size_t n = std::strlen(w);
    if (i + n > text.size() || (i > 0 && IsWordChar(static_cast<unsigned char>(text[i - 1])))) return false;
    for (size_t k = 0; k < n; ++k)
      if (std::tolower(static_cast<unsigned char>(text[i + k])) != w[k]) return false;
    return i + n == text.size() || !IsWordChar(static_cast<unsigned char>(text[i + n]));
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t end = text.find(close, i + 1);
      if (end == std::string::npos) return text;
      i = end;  // a doubled quote is two quoted parts in a row
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      size_t end = text.find('\n', i);
      if (end == std::string::npos) return text;
      i = end;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      size_t end = text.find("*/", i + 2);
      if (end == std::string::npos) return text;
      i = end + 1;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (depth == 0 && word(i, "order")) {
      size_t j = i + 5;
      while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j]))) ++j;
      if (word(j, "by")) orderAt = i;
    } else if (depth == 0 && orderAt != std::string::npos && (word(i, "limit") || word(i, "offset"))) {
      return text;
    }
  }
  return orderAt == std::string::npos ? text : text.substr(0, orderAt);
}

struct StmtGuard {
  sqlite3_stmt* st = nullptr;
  ~StmtGuard() { sqlite3_finalize(st); }
};

}  // namespace

std::string DbValue::AsString() const {
  switch (kind) {
    case Kind::Null:
      return {};
    case Kind::Integer:
      return std::to_string(integer);
    case Kind::Float: {
      char b[64];
      auto r = std::to_chars(b, b + sizeof b, number, std::chars_format::general, 15);
      return std::string(b, r.ptr);
    }
    case Kind::Text:
      return text;
  }
  return {};
}

double DbValue::AsFloat() const {
  switch (kind) {
    case Kind::Integer:
      return double(integer);
    case Kind::Float:
      return number;
    case Kind::Text: {
      std::string t = text;
      for (char& c : t)
        if (c == ',') c = '.';
      size_t b = t.find_first_not_of(' ');
      if (b == std::string::npos) return 0;
      double v = 0;
      const char* p = t.data() + b;
      if (*p == '+') ++p;
      std::from_chars(p, t.data() + t.size(), v);
      return v;
    }
    default:
      return 0;
  }
}

struct TQuery::Live {
  std::string table;  // as it stands in the statement
  std::vector<std::string> columns;
  std::vector<int64_t> rowids;
  sqlite3_stmt* fetch = nullptr;
  std::unordered_map<int64_t, std::vector<DbValue>> cache;
  int64_t pos = 0;
  ~Live() { sqlite3_finalize(fetch); }
};

TQuery::TQuery() = default;

TQuery::~TQuery() {
  Close();
  sqlite3_finalize(stmt_);
  if (db_) sqlite3_close(db_);
}

void TQuery::Fail(const std::string& what) const { throw EDBEngineError(what); }

void TQuery::FailStatement(int rc, const std::string& message) const {
  // A constraint failure is a value the table refused for one row.
  const auto scope =
      (rc & 0xff) == SQLITE_CONSTRAINT ? EDBEngineError::Scope::Row : EDBEngineError::Scope::Table;
  throw EDBEngineError(EngineMessage(message, text_), scope);
}

void TQuery::SetDatabaseName(const std::string& folder) {
  if (folder == database_) return;
  Close();
  database_ = folder;
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
}

void TQuery::SetSQL(const std::string& text) {
  Close();
  template_ = text;
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  RegenerateSQL();
}

void TQuery::SetSQL(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
  SetSQL(text);
}

void TQuery::SetTableFile(const std::string& table, const std::string& path) {
  auto& slot = tableFiles_[FoldCase(table)];
  if (slot == path) return;
  slot = path;
  // Tables already made in the connection would still stand for their old files.
  Close();
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

void TQuery::SetMacro(const std::string& name, const std::string& value) { macros_[FoldCase(name)] = value; }

std::string TQuery::MacroValue(const std::string& name) const {
  auto it = macros_.find(FoldCase(name));
  return it == macros_.end() ? "0=0" : it->second;
}

void TQuery::RegenerateSQL() {
  std::string out;
  const std::string& t = template_;
  // Text in quotes (a string, a quoted name) is never expanded.
  bool inString = false, inName = false;
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '\'' && !inName) inString = !inString;
    if (c == '"' && !inString) inName = !inName;
    if (c == '%' && !inString && !inName && i + 1 < t.size() &&
        IsWordChar(static_cast<unsigned char>(t[i + 1]))) {
      size_t j = i + 1;
      while (j < t.size() && IsWordChar(static_cast<unsigned char>(t[j]))) ++j;
      out += MacroValue(t.substr(i + 1, j - i - 1));
      i = j - 1;
      continue;
    }
    out += c;
  }
  if (out != text_) {
    Close();
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    text_ = out;
  }
}

TQuery::Param& TQuery::ParamSlot(const std::string& name) {
  if (!params_.empty()) {
    size_t next = (lastSlot_ + 1) % params_.size();
    if (params_[next].name == name) return params_[lastSlot_ = next];
  }
  for (size_t i = 0; i < params_.size(); ++i)
    if (params_[i].name == name) return params_[lastSlot_ = i];
  for (auto& p : params_)
    if (AsciiSameText(p.name, name)) return p;
  params_.push_back({name, DbValue::Null()});
  return params_.back();
}

void TQuery::SetString(const std::string& name, const std::string& value) {
  Param& p = ParamSlot(name);
  p.value.kind = DbValue::Kind::Text;
  p.value.text = value;
  p.set = true;
}

void TQuery::SetFloat(const std::string& name, double value) {
  Param& p = ParamSlot(name);
  p.value = DbValue::Float(value);
  p.set = true;
}

void TQuery::SetDate(const std::string& name, int year, int month, int day) {
  if (!ValidDate(year, month, day))
    throw EConvertError("Неверная дата: " + std::to_string(day) + "." + std::to_string(month) + "." +
                        std::to_string(year));
  char b[11] = {char('0' + year / 1000),
                char('0' + year / 100 % 10),
                char('0' + year / 10 % 10),
                char('0' + year % 10),
                '-',
                char('0' + month / 10),
                char('0' + month % 10),
                '-',
                char('0' + day / 10),
                char('0' + day % 10),
                0};
  Param& p = ParamSlot(name);
  p.value.kind = DbValue::Kind::Text;
  p.value.text.assign(b, 10);
  p.set = true;
}

void TQuery::SetDate(const std::string& name, const std::string& text) {
  auto num = [&](size_t at, size_t n, int& v) {
    if (at + n > text.size()) return false;
    auto r = std::from_chars(text.data() + at, text.data() + at + n, v);
    return r.ec == std::errc() && r.ptr == text.data() + at + n;
  };
  int y = 0, m = 0, d = 0;
  bool ok = false;
  if (text.size() == 10 && text[2] == '.' && text[5] == '.')
    ok = num(0, 2, d) && num(3, 2, m) && num(6, 4, y);
  else if (text.size() == 10 && text[4] == '-' && text[7] == '-')
    ok = num(0, 4, y) && num(5, 2, m) && num(8, 2, d);
  if (!ok) throw EConvertError("'" + text + "' - неверная дата");
  SetDate(name, y, m, d);
}

void TQuery::SetNull(const std::string& name) {
  Param& p = ParamSlot(name);
  p.value = DbValue::Null();
  p.set = true;
}

void TQuery::ResetConnection() {
  Close();
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
  // The engine keeps no statistics of SQLite's memory; without them every
  // allocation skips a global lock.
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
  }();
  (void)configured;
  if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    Fail("Не могу запустить табличный движок");
  }
  RegisterDbfModule(db_);
}

sqlite3_stmt* TQuery::PrepareText(const std::string& text) {
  for (int attempt = 0; attempt < 64; ++attempt) {
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, text.c_str(), int(text.size()), &st, &tail);
    if (rc == SQLITE_OK) {
      if (!st) Fail("Пустой запрос");
      for (; tail && *tail; ++tail)
        if (!std::isspace(static_cast<unsigned char>(*tail)) && *tail != ';') {
          sqlite3_finalize(st);
          Fail("В запросе больше одного оператора\nЗапрос: " + text);
        }
      return st;
    }
    std::string msg = sqlite3_errmsg(db_);
    const std::string missing = "no such table: ";
    if (msg.rfind(missing, 0) != 0) Fail(EngineMessage(msg, text));
    std::string name = msg.substr(missing.size());
    if (name.rfind("main.", 0) == 0) name = name.substr(5);
    auto named = tableFiles_.find(FoldCase(name));
    std::string file = named != tableFiles_.end() ? ResolveNamedFile(named->second)
                                                  : ResolveTableFile(connectedFolder_, name);
    std::string literal = "'";
    for (char c : file) literal += c == '\'' ? std::string("''") : std::string(1, c);
    literal += "'";
    std::string create = "CREATE VIRTUAL TABLE main." + QuoteIdentifier(name) + " USING dbf(" + literal + ")";
    char* err = nullptr;
    if (sqlite3_exec(db_, create.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string e = err ? err : "Не могу открыть таблицу " + name;
      sqlite3_free(err);
      Fail(EngineMessage(e, text));
    }
  }
  Fail("Слишком много таблиц в запросе\nЗапрос: " + text);
}

std::vector<int> TQuery::SlotsFor(sqlite3_stmt* stmt) {
  std::vector<int> slots;
  int n = sqlite3_bind_parameter_count(stmt);
  for (int i = 1; i <= n; ++i) {
    const char* pname = sqlite3_bind_parameter_name(stmt, i);
    if (!pname) Fail("Параметр без имени в запросе\nЗапрос: " + text_);
    std::string name = pname + 1;  // without ':'
    ParamSlot(name);
    int slot = 0;
    for (; slot < int(params_.size()); ++slot)
      if (AsciiSameText(params_[size_t(slot)].name, name)) break;
    slots.push_back(slot);
  }
  return slots;
}

void TQuery::EnsurePrepared() {
  // An absolute folder resolves the same every time; "" and relative ones
  // follow the working folder and are resolved for each statement.
  bool absolute = !database_.empty() && (database_[0] == '/' || database_[0] == '\\');
  if (!db_ || !absolute || database_ != connectedName_) {
    std::string folder = ResolveFolder(database_);
    if (!db_ || folder != connectedFolder_) {
      ResetConnection();
      connectedFolder_ = folder;
    }
    connectedName_ = database_;
  }
  if (!stmt_) {
    stmt_ = PrepareText(text_);
    stmtSlots_ = SlotsFor(stmt_);
  }
}

void TQuery::Prepare() { EnsurePrepared(); }

void TQuery::BindAll(sqlite3_stmt* stmt, const std::vector<int>& slots, bool borrow) {
  for (size_t i = 0; i < slots.size(); ++i) {
    const Param& p = params_[size_t(slots[i])];
    if (!p.set) {
      sqlite3_reset(stmt);
      Fail("Не задано значение параметра " + p.name);
    }
    int at = int(i) + 1;
    switch (p.value.kind) {
      case DbValue::Kind::Null:
        sqlite3_bind_null(stmt, at);
        break;
      case DbValue::Kind::Integer:
        sqlite3_bind_int64(stmt, at, p.value.integer);
        break;
      case DbValue::Kind::Float:
        sqlite3_bind_double(stmt, at, p.value.number);
        break;
      case DbValue::Kind::Text: {
        const std::string& t = p.value.text;
        // A length of -1 tells SQLite the text ends in a NUL, so readers of
        // the value need no terminated copy; text holding NULs keeps its size.
        int n = std::memchr(t.data(), 0, t.size()) ? int(t.size()) : -1;
        sqlite3_bind_text(stmt, at, t.c_str(), n, borrow ? SQLITE_STATIC : SQLITE_TRANSIENT);
        break;
      }
    }
  }
}

void TQuery::ExecSQL() {
  if (active_) Close();
  EnsurePrepared();
  BindAll(stmt_, stmtSlots_, true);
  int rc;
  while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) {
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    FailStatement(rc, msg);
  }
  sqlite3_reset(stmt_);
}

void TQuery::ReadCurrentRow() {
  int n = sqlite3_column_count(stmt_);
  current_.resize(size_t(n));
  for (int i = 0; i < n; ++i) current_[size_t(i)] = ColumnValue(stmt_, i);
}

void TQuery::StepCursor() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) {
    ReadCurrentRow();
    eof_ = false;
    return;
  }
  eof_ = true;
  current_.assign(fields_.size(), DbValue::Null());
  if (rc != SQLITE_DONE) {
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    active_ = false;
    Fail(EngineMessage(msg, text_));
  }
}

void TQuery::Open() {
  Close();
  EnsurePrepared();
  if (sqlite3_column_count(stmt_) == 0) Fail("Запрос не возвращает строк\nЗапрос: " + text_);
  fields_.clear();
  for (int i = 0; i < sqlite3_column_count(stmt_); ++i)
    fields_.push_back({sqlite3_column_name(stmt_, i), KindOf(sqlite3_column_decltype(stmt_, i))});
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
  BindAll(stmt_, stmtSlots_);
  active_ = true;
  StepCursor();
}

void TQuery::Close() {
  if (stmt_) sqlite3_reset(stmt_);
  active_ = false;
  eof_ = true;
  current_.clear();
  rows_.reset();
  recordCount_.reset();
  live_.reset();
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
    if (AsciiSameText(fields_[i].name, name)) return int(i);
  return -1;
}

void TQuery::First() {
  if (!active_) Fail("Запрос не открыт");
  if (live_) {
    live_->pos = 0;
    eof_ = live_->rowids.empty();
    if (!eof_) current_ = Row(0);
    return;
  }
  sqlite3_reset(stmt_);
  BindAll(stmt_, stmtSlots_);
  StepCursor();
}

void TQuery::Next() {
  if (!active_ || eof_) return;
  if (live_) {
    ++live_->pos;
    eof_ = live_->pos >= int64_t(live_->rowids.size());
    if (!eof_) current_ = Row(live_->pos);
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
  if (live_) return int64_t(live_->rowids.size());
  if (rows_) return int64_t(rows_->size());
  if (!recordCount_) {
    std::string inner = WithoutFinalOrder(text_);
    while (!inner.empty() && (std::isspace(static_cast<unsigned char>(inner.back())) || inner.back() == ';'))
      inner.pop_back();
    StmtGuard g;
    g.st = PrepareText("select count(*) from (" + inner + "\n)");
    BindAll(g.st, SlotsFor(g.st));
    int rc = sqlite3_step(g.st);
    if (rc != SQLITE_ROW) FailStatement(sqlite3_errcode(db_), sqlite3_errmsg(db_));
    recordCount_ = sqlite3_column_int64(g.st, 0);
  }
  return *recordCount_;
}

void TQuery::LoadAllRows() {
  StmtGuard g;
  g.st = PrepareText(text_);
  BindAll(g.st, SlotsFor(g.st));
  std::vector<std::vector<DbValue>> rows;
  int rc;
  int n = sqlite3_column_count(g.st);
  while ((rc = sqlite3_step(g.st)) == SQLITE_ROW) {
    std::vector<DbValue> row(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) row[size_t(i)] = ColumnValue(g.st, i);
    rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) FailStatement(sqlite3_errcode(db_), sqlite3_errmsg(db_));
  rows_ = std::move(rows);
}

const std::vector<DbValue>& TQuery::Row(int64_t index) {
  if (!active_) Fail("Запрос не открыт");
  if (live_) {
    if (index < 0 || index >= int64_t(live_->rowids.size()))
      Fail("Нет строки номер " + std::to_string(index + 1));
    int64_t rowid = live_->rowids[size_t(index)];
    auto it = live_->cache.find(rowid);
    if (it != live_->cache.end()) return it->second;
    if (live_->cache.size() > 4096) live_->cache.clear();
    sqlite3_reset(live_->fetch);
    sqlite3_bind_int64(live_->fetch, 1, rowid);
    int rc = sqlite3_step(live_->fetch);
    std::vector<DbValue> row(fields_.size());
    if (rc == SQLITE_ROW) {
      for (int i = 0; i < int(fields_.size()); ++i) row[size_t(i)] = ColumnValue(live_->fetch, i);
    } else if (rc != SQLITE_DONE) {
      std::string msg = sqlite3_errmsg(db_);
      sqlite3_reset(live_->fetch);
      Fail(EngineMessage(msg, text_));
    }
    sqlite3_reset(live_->fetch);
    return live_->cache.emplace(rowid, std::move(row)).first->second;
  }
  if (!rows_) LoadAllRows();
  if (index < 0 || index >= int64_t(rows_->size())) Fail("Нет строки номер " + std::to_string(index + 1));
  return (*rows_)[size_t(index)];
}

void TQuery::OpenLive() {
  static const std::regex shape(R"(^\s*select\s+([\s\S]+?)\s+from\s+("(?:[^"]|"")+"|[^\s";]+)\s*;?\s*$)",
                                std::regex::icase);
  std::smatch m;
  if (!std::regex_match(text_, m, shape))
    Fail("Результат запроса нельзя изменять: нужен запрос вида select <поля> from <таблица>\nЗапрос: " +
         text_);
  auto live = std::make_unique<Live>();
  live->table = m[2].str();
  for (const auto& f : fields_) {
    if (f.kind == FieldKind::Other)
      Fail("Результат запроса нельзя изменять: столбец " + f.name +
           " не является полем таблицы\nЗапрос: " + text_);
    live->columns.push_back(f.name);
  }
  std::string cols;
  for (size_t i = 0; i < live->columns.size(); ++i)
    cols += (i ? "," : "") + QuoteIdentifier(live->columns[i]);
  {
    StmtGuard g;
    g.st = PrepareText("select rowid from " + live->table);
    int rc;
    while ((rc = sqlite3_step(g.st)) == SQLITE_ROW) live->rowids.push_back(sqlite3_column_int64(g.st, 0));
    if (rc != SQLITE_DONE) FailStatement(sqlite3_errcode(db_), sqlite3_errmsg(db_));
  }
  live->fetch = PrepareText("select " + cols + " from " + live->table + " where rowid=?1");
  live_ = std::move(live);
  eof_ = live_->rowids.empty();
  current_.assign(fields_.size(), DbValue::Null());
  if (!eof_) current_ = Row(0);
}

void TQuery::SetCell(int64_t row, int field, const std::string& value) {
  if (!live_) Fail("Результат запроса нельзя изменять");
  if (row < 0 || row >= int64_t(live_->rowids.size())) Fail("Нет строки номер " + std::to_string(row + 1));
  const FieldInfo& f = Field(field);
  StmtGuard g;
  g.st = PrepareText("update " + live_->table + " set " + QuoteIdentifier(f.name) + "=?1 where rowid=?2");
  if (value.empty() && f.kind != FieldKind::Text)
    sqlite3_bind_null(g.st, 1);
  else
    sqlite3_bind_text(g.st, 1, value.data(), int(value.size()), SQLITE_TRANSIENT);
  int64_t rowid = live_->rowids[size_t(row)];
  sqlite3_bind_int64(g.st, 2, rowid);
  if (sqlite3_step(g.st) != SQLITE_DONE) FailStatement(sqlite3_errcode(db_), sqlite3_errmsg(db_));
  live_->cache.erase(rowid);
}

int64_t TQuery::LastInsertRowId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

int64_t TQuery::InsertRow(const std::vector<std::string>& values) {
  if (!live_) Fail("Результат запроса нельзя изменять");
  std::string cols, marks;
  for (size_t i = 0; i < live_->columns.size(); ++i) {
    cols += (i ? "," : "") + QuoteIdentifier(live_->columns[i]);
    marks += (i ? ",?" : "?") + std::to_string(i + 1);
  }
  StmtGuard g;
  g.st = PrepareText("insert into " + live_->table + " (" + cols + ") values (" + marks + ")");
  for (size_t i = 0; i < live_->columns.size(); ++i) {
    std::string v = i < values.size() ? values[i] : std::string();
    if (v.empty() && fields_[i].kind != FieldKind::Text)
      sqlite3_bind_null(g.st, int(i) + 1);
    else
      sqlite3_bind_text(g.st, int(i) + 1, v.data(), int(v.size()), SQLITE_TRANSIENT);
  }
  if (sqlite3_step(g.st) != SQLITE_DONE) FailStatement(sqlite3_errcode(db_), sqlite3_errmsg(db_));
  live_->rowids.push_back(sqlite3_last_insert_rowid(db_));
  return int64_t(live_->rowids.size()) - 1;
}

void TQuery::DeleteRow(int64_t row) {
  if (!live_) Fail("Результат запроса нельзя изменять");
  if (row < 0 || row >= int64_t(live_->rowids.size())) Fail("Нет строки номер " + std::to_string(row + 1));
  StmtGuard g;
  g.st = PrepareText("delete from " + live_->table + " where rowid=?1");
  int64_t rowid = live_->rowids[size_t(row)];
  sqlite3_bind_int64(g.st, 1, rowid);
  if (sqlite3_step(g.st) != SQLITE_DONE) FailStatement(sqlite3_errcode(db_), sqlite3_errmsg(db_));
  live_->rowids.erase(live_->rowids.begin() + row);
  live_->cache.erase(rowid);
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
