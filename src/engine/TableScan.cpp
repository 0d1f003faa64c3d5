#include "engine/TableScan.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/DbValue.h"
#include "engine/RecordOrder.h"
#include "utils/Cp1251.h"
#include "utils/Cp866.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

constexpr size_t kChunkBytes = 1 << 20;

}  // namespace

std::string ScanValue::Text() const {
  switch (kind) {
    case Kind::Null:
      return {};
    case Kind::Int:
      return std::to_string(integer);
    case Kind::Real:
      return RealText(real);
    case Kind::Text:
      break;
  }
  return std::string(text);
}

int CompareScanValues(const ScanValue& a, const ScanValue& b) {
  static_assert(
      uint8_t(ScanValue::Kind::Null) == DbfValue::Null && uint8_t(ScanValue::Kind::Int) == DbfValue::Int &&
      uint8_t(ScanValue::Kind::Real) == DbfValue::Real && uint8_t(ScanValue::Kind::Text) == DbfValue::Text);
  auto view = [](const ScanValue& v) {
    return DbfValue{DbfValue::Kind(uint8_t(v.kind)), v.integer, v.real, v.text};
  };
  return CompareValues(view(a), view(b));
}

std::string_view ScanText(const DbfField& f, const char* record, std::string& scratch) {
  const char* p = record + f.offset;
  size_t n = f.length;
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
  for (size_t i = 0; i < n; ++i) {
    if (static_cast<unsigned char>(p[i]) >= 0x80) {
      scratch =
          f.codePage == 866 ? Cp866ToUtf8(std::string_view(p, n)) : Cp1251ToUtf8(std::string_view(p, n));
      return scratch;
    }
  }
  return std::string_view(p, n);
}

ScanValue ScanNumber(const DbfField& f, const char* record) {
  DbfValue n;
  DecodeDbfNumber(f, record, n);
  ScanValue v;
  v.kind = ScanValue::Kind(uint8_t(n.kind));
  v.integer = n.i;
  v.real = n.d;
  return v;
}

ScanValue ScanField(const DbfField& f, const char* record, std::string& scratch) {
  ScanValue v;
  switch (f.type) {
    case 'N':
    case 'F':
      return ScanNumber(f, record);
    case 'D': {
      DbfFieldValue day;
      DecodeDbfField(f, record, day);
      if (day.kind == DbfValue::Null) return v;
      v.kind = ScanValue::Kind::Text;
      v.text = day.text;
      if (day.text.data() == day.iso) v.text = scratch.assign(day.iso, sizeof day.iso);
      return v;
    }
    case 'L': {
      const char c = record[f.offset];
      if (c == 'T' || c == 't' || c == 'Y' || c == 'y') v.kind = ScanValue::Kind::Int, v.integer = 1;
      if (c == 'F' || c == 'f' || c == 'N' || c == 'n') v.kind = ScanValue::Kind::Int, v.integer = 0;
      return v;
    }
    default:
      v.kind = ScanValue::Kind::Text;
      v.text = ScanText(f, record, scratch);
      return v;
  }
}

TableScan::TableScan(const std::string& path) : file_(DbfFile::Acquire(path)) {
  // Changes in place by another writer are taken in as a statement would.
  if (!file_->Current(true)) file_ = DbfFile::Acquire(path);
  count_ = file_->RecordCount();
  chunk_ = std::max<uint32_t>(1, uint32_t(kChunkBytes / std::max<size_t>(1, file_->RecordLength())));
}

int TableScan::FieldIndex(std::string_view name) const {
  const auto& fields = file_->Fields();
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameText(fields[i].name, name)) return int(i);
  return -1;
}

}  // namespace drs
