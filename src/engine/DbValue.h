// Values and columns of a statement's result.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3_stmt;

namespace drs {

// One value of a result row.
struct DbValue {
  enum class Kind : uint8_t { Null, Integer, Float, Text };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double number = 0;
  std::string text;

  static DbValue Null() { return {}; }
  static DbValue Int(int64_t v) {
    DbValue d;
    d.kind = Kind::Integer;
    d.integer = v;
    return d;
  }
  static DbValue Float(double v) {
    DbValue d;
    d.kind = Kind::Float;
    d.number = v;
    return d;
  }
  static DbValue Text(std::string v) {
    DbValue d;
    d.kind = Kind::Text;
    d.text = std::move(v);
    return d;
  }

  bool IsNull() const { return kind == Kind::Null; }
  // Integers in decimal, floats with up to 15 significant digits ("." as
  // the decimal point), null as "".
  std::string AsString() const;
  // Text is read as a number ("" and text that is no number give 0).
  double AsFloat() const;
};

// What a result column holds, from the table's field type.
enum class FieldKind : uint8_t { Text, Integer, Float, Date, Logical, Other };

struct FieldInfo {
  std::string name;
  FieldKind kind = FieldKind::Other;
};

// Column `i` of the row a statement stands on.
DbValue ColumnValue(sqlite3_stmt* st, int i);

// A real as results print it: up to 15 significant digits, "." as the point.
std::string RealText(double v);
// Column `i` of a prepared statement: its name and the kind its declared
// type gives.
FieldInfo ColumnField(sqlite3_stmt* st, int i);

}  // namespace drs
