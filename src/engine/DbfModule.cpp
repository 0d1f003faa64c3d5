#include "engine/DbfModule.h"

#include <dirent.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/DbfFile.h"
#include "engine/EDBEngineError.h"
#include "engine/SqlName.h"
#include "utils/Cp1251.h"
#include "utils/Cp866.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

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

struct DbfVtab : sqlite3_vtab {
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

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\0')) --e;
  return s.substr(b, e - b);
}

bool ParseDouble(std::string_view text, double& v) {
  std::string dotted;
  if (text.find(',') != std::string_view::npos) {
    dotted.assign(text);
    for (char& c : dotted)
      if (c == ',') c = '.';
    text = dotted;
  }
  const char* b = text.data();
  const char* e = b + text.size();
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e && std::isfinite(v);
}

bool Digits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}

int Number(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

// "YYYYMMDD", "YYYY-MM-DD" or "DD.MM.YYYY" as the eight bytes YYYYMMDD.
bool DateBytes(std::string_view t, char out[8]) {
  int y, m, d;
  if (t.size() == 8 && Digits(t)) {
    y = Number(t.substr(0, 4)), m = Number(t.substr(4, 2)), d = Number(t.substr(6, 2));
  } else if (t.size() == 10 && t[4] == '-' && t[7] == '-' && Digits(t.substr(0, 4)) &&
             Digits(t.substr(5, 2)) && Digits(t.substr(8, 2))) {
    y = Number(t.substr(0, 4)), m = Number(t.substr(5, 2)), d = Number(t.substr(8, 2));
  } else if (t.size() == 10 && t[2] == '.' && t[5] == '.' && Digits(t.substr(0, 2)) &&
             Digits(t.substr(3, 2)) && Digits(t.substr(6, 4))) {
    d = Number(t.substr(0, 2)), m = Number(t.substr(3, 2)), y = Number(t.substr(6, 4));
  } else {
    return false;
  }
  if (!ValidDate(y, m, d)) return false;
  auto put = [](char* p, int v, int width) {
    for (int i = width - 1; i >= 0; --i, v /= 10) p[i] = char('0' + v % 10);
  };
  put(out, y, 4);
  put(out + 4, m, 2);
  put(out + 6, d, 2);
  return true;
}

// `d` with `decimals` places exactly as to_chars(fixed) writes it, without
// its cost: the scaled value is rounded to an integer unless it lies so near
// a half that the product's rounding error could tip it (then false, and
// the caller formats it the slow way).
bool QuickFixed(double d, int decimals, char* out, size_t& n) {
  static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (decimals < 0 || decimals > 15) return false;
  double p = std::fabs(d) * kPow10[decimals];
  if (!(p < 1e15)) return false;
  double whole = std::floor(p);
  // Twice the spacing of doubles near p, at least (p < 2^50).
  double margin = p * 0x1p-51;
  if (std::fabs(p - whole - 0.5) <= margin) return false;
  uint64_t v = uint64_t(whole) + (p - whole > 0.5 ? 1 : 0);
  n = 0;
  if (d < 0 && v != 0) out[n++] = '-';
  char digits[24];
  int len = 0;
  for (; v > 0 || len <= decimals; v /= 10) digits[len++] = char('0' + v % 10);
  for (int i = len - 1; i >= 0; --i) {
    out[n++] = digits[i];
    if (i == decimals && decimals > 0) out[n++] = '.';
  }
  return true;
}

// The value's text as SQLite holds it; no copy.
std::string_view ValueView(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string_view(reinterpret_cast<const char*>(t), size_t(sqlite3_value_bytes(v)))
           : std::string_view();
}

std::string ValueText(sqlite3_value* v) { return std::string(ValueView(v)); }

bool Ascii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Writes one value into its place in the record; a value that does not fit
// its field is refused, never cut. Works in place, without heap copies, for
// the usual values (numbers, ASCII text, dates).
// A value that does not fit its field: the next row may well fit.
EDBEngineError RowError(const std::string& message) {
  return EDBEngineError(message, EDBEngineError::Scope::Row);
}

void EncodeField(const DbfField& f, sqlite3_value* v, char* dst) {
  char* p = dst + f.offset;
  std::memset(p, ' ', f.length);
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) {
    if (f.type == 'L') *p = '?';
    return;
  }
  switch (f.type) {
    case 'N':
    case 'F': {
      char b[400];
      std::string_view digits;
      if (type == SQLITE_INTEGER && f.decimals == 0) {
        auto r = std::to_chars(b, b + sizeof b, sqlite3_value_int64(v));
        digits = std::string_view(b, size_t(r.ptr - b));
      } else {
        // Numbers go into numeric fields without a detour through text.
        double d = 0;
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
          d = sqlite3_value_double(v);
        } else {
          std::string_view text = ValueView(v), t = Trim(text);
          if (t.empty()) return;
          if (!ParseDouble(t, d))
            throw RowError("Значение \"" + std::string(text) + "\" поля " + f.name + " не является числом");
        }
        if (!std::isfinite(d)) throw RowError("Значение поля " + f.name + " не является числом");
        size_t n = 0;
        if (QuickFixed(d, int(f.decimals), b, n)) {
          digits = std::string_view(b, n);
        } else {
          auto r = std::to_chars(b, b + sizeof b, d, std::chars_format::fixed, int(f.decimals));
          if (r.ec != std::errc()) throw RowError("Число не помещается в поле " + f.name);
          digits = std::string_view(b, size_t(r.ptr - b));
        }
        // A negative value that rounds to zero is written as zero.
        if (digits[0] == '-' && digits.find_first_not_of("-0.") == std::string_view::npos)
          digits.remove_prefix(1);
      }
      if (digits.size() > f.length)
        throw RowError("Число " + std::string(digits) + " не помещается в поле " + f.name + " (N " +
                       std::to_string(f.length) + "." + std::to_string(f.decimals) + ")");
      std::memcpy(p + f.length - digits.size(), digits.data(), digits.size());
      return;
    }
    case 'D': {
      std::string_view text = ValueView(v), t = Trim(text);
      if (t.empty()) return;
      char bytes[8];
      if (f.length != 8 || !DateBytes(t, bytes))
        throw RowError("Значение \"" + std::string(text) + "\" поля " + f.name + " не является датой");
      std::memcpy(p, bytes, 8);
      return;
    }
    case 'L': {
      std::string text = ValueText(v);
      std::string t = FoldCase(std::string(Trim(text)));
      if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
        *p = sqlite3_value_double(v) != 0 ? 'T' : 'F';
      else if (t == "t" || t == "y" || t == "1" || t == "да" || t == "true")
        *p = 'T';
      else if (t == "f" || t == "n" || t == "0" || t == "нет" || t == "false")
        *p = 'F';
      else if (t.empty())
        *p = '?';
      else
        throw RowError("Значение \"" + text + "\" поля " + f.name + " не является логическим");
      return;
    }
    default: {
      // A number is written as its plain text: 1, not 1.0.
      char num[32];
      std::string_view text;
      if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        const double d = sqlite3_value_double(v);
        auto r = type == SQLITE_INTEGER ? std::to_chars(num, num + sizeof num, sqlite3_value_int64(v))
                 : d == std::trunc(d) && std::fabs(d) < 1e15
                     ? std::to_chars(num, num + sizeof num, int64_t(d))
                     : std::to_chars(num, num + sizeof num, d);
        text = std::string_view(num, size_t(r.ptr - num));
      } else {
        text = ValueView(v);
      }
      auto tooLong = [&] {
        return RowError("Значение \"" + std::string(text) + "\" длиннее поля " + f.name + " (" +
                        std::to_string(f.length) + " знаков)");
      };
      // ASCII text is its own 1251 encoding.
      if (Ascii(text)) {
        if (text.size() > f.length) throw tooLong();
        std::memcpy(p, text.data(), text.size());
        return;
      }
      const bool dos = f.codePage == 866;
      if (dos ? !FitsCp866(text) : !FitsCp1251(text))
        throw RowError("Значение \"" + std::string(text) + "\" поля " + f.name +
                       " содержит знаки вне кодировки " + std::to_string(f.codePage));
      std::string bytes = dos ? Utf8ToCp866(text) : Utf8ToCp1251(text);
      if (bytes.size() > f.length) throw tooLong();
      std::memcpy(p, bytes.data(), bytes.size());
    }
  }
}

// One field's value as the table gives it to SQLite. Text points into the
// record unless it had to be decoded or reshaped; the value must stay where
// it was read into.
struct FieldValue {
  enum Kind : uint8_t { Null, Int, Real, Text };
  Kind kind = Null;
  int64_t i = 0;
  double d = 0;
  std::string_view text;
  char iso[10];
  std::string decoded;
};

void ReadField(const DbfField& f, const char* record, FieldValue& v) {
  const char* p = record + f.offset;
  v.kind = FieldValue::Null;
  switch (f.type) {
    case 'N':
    case 'F': {
      std::string_view t = Trim(std::string_view(p, f.length));
      if (t.empty()) return;
      if (f.decimals == 0) {
        const char* b = t.data();
        if (*b == '+') ++b;
        auto r = std::from_chars(b, t.data() + t.size(), v.i);
        if (r.ec == std::errc() && r.ptr == t.data() + t.size()) {
          v.kind = FieldValue::Int;
          return;
        }
      }
      if (ParseDouble(t, v.d)) v.kind = FieldValue::Real;
      return;
    }
    case 'D': {
      std::string_view t = Trim(std::string_view(p, f.length));
      if (t.empty()) return;
      v.kind = FieldValue::Text;
      v.text = t;
      if (t.size() == 8 && Digits(t)) {
        const char iso[10] = {t[0], t[1], t[2], t[3], '-', t[4], t[5], '-', t[6], t[7]};
        std::memcpy(v.iso, iso, 10);
        v.text = std::string_view(v.iso, 10);
      }
      return;
    }
    case 'L': {
      char c = *p;
      if (c == 'T' || c == 't' || c == 'Y' || c == 'y') v.kind = FieldValue::Int, v.i = 1;
      if (c == 'F' || c == 'f' || c == 'N' || c == 'n') v.kind = FieldValue::Int, v.i = 0;
      return;
    }
    default: {
      size_t n = f.length;
      while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
      v.kind = FieldValue::Text;
      // ASCII needs no decoding: taken from the record itself.
      if (Ascii(std::string_view(p, n))) {
        v.text = std::string_view(p, n);
      } else {
        v.decoded = DbfFile::FieldText(f, record);
        v.text = v.decoded;
      }
    }
  }
}

void ResultField(sqlite3_context* ctx, const DbfField& f, const char* record) {
  FieldValue v;
  ReadField(f, record, v);
  switch (v.kind) {
    case FieldValue::Null:
      return sqlite3_result_null(ctx);
    case FieldValue::Int:
      return sqlite3_result_int64(ctx, v.i);
    case FieldValue::Real:
      return sqlite3_result_double(ctx, v.d);
    case FieldValue::Text:
      return sqlite3_result_text(ctx, v.text.data(), int(v.text.size()), SQLITE_TRANSIENT);
  }
}

// SQLite's order of values: NULL first, then numbers by value, then text
// byte by byte.
int CompareValues(const FieldValue& a, const FieldValue& b) {
  auto rank = [](const FieldValue& v) {
    return v.kind == FieldValue::Null ? 0 : v.kind == FieldValue::Text ? 2 : 1;
  };
  int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra == 1) {
    if (a.kind == FieldValue::Int && b.kind == FieldValue::Int) return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
    // Wide enough for every int64 and double alike.
    long double x = a.kind == FieldValue::Int ? static_cast<long double>(a.i) : a.d;
    long double y = b.kind == FieldValue::Int ? static_cast<long double>(b.i) : b.d;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (ra == 2) {
    int c = a.text.compare(b.text);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  return 0;
}

// Bytes that are equal exactly when the values are equal for SQLite.
void AppendValueKey(const FieldValue& v, std::string& key) {
  int64_t i = v.i;
  FieldValue::Kind kind = v.kind;
  // A whole real equals the integer of the same value.
  if (kind == FieldValue::Real && v.d == std::trunc(v.d) && std::fabs(v.d) < 9e18)
    kind = FieldValue::Int, i = int64_t(v.d);
  key.push_back(char(kind));
  if (kind == FieldValue::Int) key.append(reinterpret_cast<const char*>(&i), sizeof i);
  if (kind == FieldValue::Real) key.append(reinterpret_cast<const char*>(&v.d), sizeof v.d);
  if (kind == FieldValue::Text) {
    uint32_t n = uint32_t(v.text.size());
    key.append(reinterpret_cast<const char*>(&n), sizeof n).append(v.text);
  }
}

// Records held in memory, one after the other.
struct RecordSet {
  const char* base;
  size_t length;
  const char* At(uint32_t i) const { return base + size_t(i) * length; }
};

// One live record for each value of the columns `cols`, in the order the
// values are first met: what SQLite's DISTINCT gives, without its index.
void FirstOfEachValue(const std::vector<DbfField>& fields, const RecordSet& records,
                      const std::vector<int>& cols, std::vector<uint32_t>& rows) {
  std::unordered_map<std::string, uint32_t> seen;
  std::string key;
  FieldValue v;
  size_t kept = 0;
  for (uint32_t r : rows) {
    const char* rec = records.At(r);
    if (rec[0] == '*') continue;
    key.clear();
    for (int c : cols) {
      ReadField(fields[size_t(c)], rec, v);
      AppendValueKey(v, key);
    }
    if (seen.try_emplace(key, r).second) rows[kept++] = r;
  }
  rows.resize(kept);
}

// Puts the live records of `rows` in the order of the columns `cols`, equal
// keys in record order, so SQLite needs no sorter. Records with the same
// bytes in those columns form a group; only the groups are compared.
void OrderRows(const std::vector<DbfField>& fields, const RecordSet& records, const std::vector<int>& cols,
               std::vector<uint32_t>& rows) {
  // Keyed by the records themselves (they stay in memory): the bytes of the
  // columns are hashed and compared in place, no key is copied. Open
  // addressing in a table at least twice the rows: no allocation per group.
  auto hash = [&](const char* rec) {
    size_t h = 0;
    for (int c : cols)
      h = h * 1000003u ^ std::hash<std::string_view>()(
                             std::string_view(rec + fields[size_t(c)].offset, fields[size_t(c)].length));
    return h;
  };
  auto same = [&](const char* a, const char* b) {
    for (int c : cols)
      if (std::memcmp(a + fields[size_t(c)].offset, b + fields[size_t(c)].offset, fields[size_t(c)].length) !=
          0)
        return false;
    return true;
  };
  size_t capacity = 16;
  while (capacity < rows.size() * 2) capacity <<= 1;
  const size_t mask = capacity - 1;
  struct Slot {
    const char* rec = nullptr;
    uint32_t group = 0;
  };
  std::vector<Slot> table(capacity);
  uint32_t groups = 0;
  std::deque<FieldValue> values;  // cols.size() per group, read in place
  std::vector<uint32_t> groupOf;
  groupOf.reserve(rows.size());
  size_t kept = 0;
  for (uint32_t r : rows) {
    const char* rec = records.At(r);
    if (rec[0] == '*') continue;
    size_t i = hash(rec) & mask;
    while (table[i].rec && !same(table[i].rec, rec)) i = (i + 1) & mask;
    if (!table[i].rec) {
      table[i] = {rec, groups++};
      for (int c : cols) ReadField(fields[size_t(c)], rec, values.emplace_back());
    }
    rows[kept++] = r;
    groupOf.push_back(table[i].group);
  }
  rows.resize(kept);
  const size_t n = cols.size(), count = groups;
  std::vector<uint32_t> order(count);
  for (uint32_t g = 0; g < count; ++g) order[g] = g;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    for (size_t k = 0; k < n; ++k)
      if (int c = CompareValues(values[a * n + k], values[b * n + k])) return c < 0;
    return a < b;
  });
  // Counting sort of the records by their group's place.
  std::vector<uint32_t> start(count + 1, 0), place(count);
  for (uint32_t i = 0; i < count; ++i) place[order[i]] = i;
  for (uint32_t g : groupOf) ++start[place[g] + 1];
  for (size_t i = 1; i <= count; ++i) start[i] += start[i - 1];
  std::vector<uint32_t> sorted(kept);
  for (size_t i = 0; i < kept; ++i) sorted[start[place[groupOf[i]]]++] = rows[i];
  rows.swap(sorted);
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

int Connect(sqlite3* db, void*, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
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
  *out = vt;
  return SQLITE_OK;
}

void EndWrite(DbfVtab* vt);

int Disconnect(sqlite3_vtab* v) {
  EndWrite(static_cast<DbfVtab*>(v));
  delete static_cast<DbfVtab*>(v);
  return SQLITE_OK;
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

int OpenCursor(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = new DbfCursor();
  return SQLITE_OK;
}

int CloseCursor(sqlite3_vtab_cursor* c) {
  delete static_cast<DbfCursor*>(c);
  return SQLITE_OK;
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

void StartWrite(DbfVtab* vt);

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
          EncodeField(fields[i], argv[i + 2], vt->appends.data() + at);
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
        EncodeField(fields[i], argv[i + 2], rec.data());
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

}  // namespace

void RegisterDbfModule(sqlite3* db) {
  static const sqlite3_module module = MakeModule();
  sqlite3_create_module_v2(db, "dbf", &module, nullptr, nullptr);
}

std::string ResolveFolder(const std::string& database) {
  std::string folder = database;
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (folder.empty() || folder[0] != '/') {
    std::string cwd(4096, '\0');
    if (!::getcwd(cwd.data(), cwd.size())) throw EDBEngineError("Не могу определить текущую папку");
    cwd.resize(std::strlen(cwd.c_str()));
    folder = folder.empty() ? cwd : cwd + "/" + folder;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string ResolveTableFile(const std::string& folder, const std::string& name) {
  if (name.empty()) throw EDBEngineError("Не задано имя таблицы");
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos || name == "." ||
      name == "..")
    throw EDBEngineError("Недопустимое имя таблицы: " + name);
  return ResolveNamedFile((folder == "/" ? "/" : folder + "/") + name + ".DBF");
}

std::string ResolveNamedFile(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  const size_t sep = p.find_last_of('/');
  const std::string folder = ResolveFolder(sep == std::string::npos ? std::string() : p.substr(0, sep + 1));
  const std::string name = sep == std::string::npos ? p : p.substr(sep + 1);
  const std::string base = folder == "/" ? "/" : folder + "/";
  if (name.empty()) throw EDBEngineError("Не задано имя файла таблицы: " + path);
  const std::string exact = base + name;
  struct stat st {};
  if (::stat(exact.c_str(), &st) == 0) return exact;  // a folder or device is refused on opening
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) throw EDBEngineError("Папка базы данных не найдена: " + folder);
  const std::string wanted = FoldCase(name);
  std::vector<std::string> found;
  while (dirent* e = ::readdir(dir))
    if (FoldCase(e->d_name) == wanted) found.push_back(base + e->d_name);
  ::closedir(dir);
  if (found.size() == 1) return found[0];
  if (found.empty()) throw EDBEngineError("Таблица не найдена: нет файла " + exact);
  std::sort(found.begin(), found.end());
  std::string list;
  for (const auto& f : found) list += "\n" + f;
  throw EDBEngineError("Таблица не найдена: нет файла " + exact +
                       ", а файлов с таким именем в другом регистре несколько:" + list);
}

}  // namespace drs
