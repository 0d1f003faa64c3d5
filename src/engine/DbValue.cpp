#include "engine/DbValue.h"

#include <sqlite3.h>

#include "utils/NumberText.h"

#include <charconv>
#include <string_view>

namespace drs {

std::string DbfValue::Text() const {
  switch (kind) {
    case Kind::Null:
      return {};
    case Kind::Int:
      return std::to_string(integer);
    case Kind::Real: {
      char b[64];
      auto r = std::to_chars(b, b + sizeof b, real, std::chars_format::general, 15);
      return std::string(b, r.ptr);
    }
    case Kind::Text:
      break;
  }
  return std::string(text);
}

double DbValue::AsFloat() const {
  switch (kind) {
    case Kind::Int:
      return double(integer);
    case Kind::Real:
      return real;
    case Kind::Text:
      return ReadNumberPrefix(text);
    default:
      return 0;
  }
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

FieldInfo ColumnField(sqlite3_stmt* st, int i) {
  const char* decl = sqlite3_column_decltype(st, i);
  FieldKind kind = FieldKind::Other;
  if (decl) {
    std::string_view d = decl;
    if (d == "TEXT")
      kind = FieldKind::Text;
    else if (d == "INTEGER")
      kind = FieldKind::Integer;
    else if (d == "REAL")
      kind = FieldKind::Float;
    else if (d == "DATE")
      kind = FieldKind::Date;
    else if (d == "BOOLEAN")
      kind = FieldKind::Logical;
  }
  return {sqlite3_column_name(st, i), kind};
}

}  // namespace drs
