// The engine's one value: null, an integer, a real or text. `DbfValue` is
// its view, taken and given by the field codec and statements without a
// copy; `DbValue` owns its text, for a result row kept after the record or
// statement it was read from. Both read as text in the one way `Text()`
// gives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3_stmt;

namespace drs {

// A value whose text is a view (UTF-8: into a record, a statement's value
// or a decoder's scratch).
struct DbfValue {
  enum class Kind : uint8_t { Null, Int, Real, Text };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string_view text;

  static DbfValue OfInt(int64_t value) {
    DbfValue v;
    v.kind = Kind::Int;
    v.integer = value;
    return v;
  }
  static DbfValue OfReal(double value) {
    DbfValue v;
    v.kind = Kind::Real;
    v.real = value;
    return v;
  }
  static DbfValue OfText(std::string_view text) {
    DbfValue v;
    v.kind = Kind::Text;
    v.text = text;
    return v;
  }

  bool IsNull() const { return kind == Kind::Null; }
  // As a statement's value reads as a number (null and text: 0).
  double Number() const { return kind == Kind::Int ? double(integer) : kind == Kind::Real ? real : 0; }
  // As a statement's value reads as text: integers in decimal, reals with up
  // to 15 significant digits ("." as the point), null as "".
  std::string Text() const;
};

// The same value owning its text: one value of a result row.
struct DbValue {
  using Kind = DbfValue::Kind;
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string text;

  static DbValue Null() { return {}; }
  static DbValue Int(int64_t v) { return Of(DbfValue::OfInt(v)); }
  static DbValue Float(double v) { return Of(DbfValue::OfReal(v)); }
  static DbValue Text(std::string v) {
    DbValue d;
    d.kind = Kind::Text;
    d.text = std::move(v);
    return d;
  }
  // A copy of a viewed value.
  static DbValue Of(const DbfValue& v) {
    DbValue d;
    if (v.kind == Kind::Null) return d;
    d.kind = v.kind;
    d.integer = v.integer;
    d.real = v.real;
    d.text = v.text;
    return d;
  }
  DbfValue View() const {
    DbfValue v;
    v.kind = kind;
    v.integer = integer;
    v.real = real;
    v.text = text;
    return v;
  }

  bool IsNull() const { return kind == Kind::Null; }
  std::string AsString() const { return View().Text(); }
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

// Column `i` of a prepared statement: its name and the kind its declared
// type gives.
FieldInfo ColumnField(sqlite3_stmt* st, int i);

}  // namespace drs
