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

// Blanks and tabs before, blanks, tabs and NULs after: what a numeric
// field's text is cut to.
std::string_view TrimNumber(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\0')) --e;
  return s.substr(b, e - b);
}

// The general reading: "," as a decimal point, one leading "+" ignored, the
// whole text a finite number.
bool ParseReal(std::string_view t, double& v) {
  char buf[256];
  const size_t n = std::min(t.size(), sizeof buf);
  for (size_t i = 0; i < n; ++i) buf[i] = t[i] == ',' ? '.' : t[i];
  const char* b = buf;
  const char* e = buf + n;
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e && std::isfinite(v);
}

// [+-]digits[.digits] of at most 15 significant digits and 22 decimals:
// the mantissa and the power of ten are exact doubles, so their quotient is
// the correctly rounded value, as the general reading gives it.
bool QuickReal(std::string_view t, double& v) {
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  uint64_t m = 0;
  int digits = 0, decimals = 0;
  bool point = false, any = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (m != 0 || c != '0') ++digits;
      m = m * 10 + uint64_t(c - '0');
      if (point) ++decimals;
      if (digits > 15) return false;
    } else if ((c == '.' || c == ',') && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!any || decimals > 22) return false;
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  v = double(m) / kPow10[decimals];
  if (negative) v = -v;
  return true;
}

// [+-]digits, at most 18 of them.
bool QuickInteger(std::string_view t, int64_t& v) {
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  if (i == t.size() || t.size() - i > 18) return false;
  int64_t m = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    m = m * 10 + (t[i] - '0');
  }
  v = negative ? -m : m;
  return true;
}

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
  ScanValue v;
  const std::string_view t = TrimNumber(std::string_view(record + f.offset, f.length));
  if (t.empty()) return v;
  if (f.decimals == 0) {
    if (QuickInteger(t, v.integer)) {
      v.kind = ScanValue::Kind::Int;
      return v;
    }
    const char* b = t.data();
    const char* e = b + t.size();
    if (*b == '+') ++b;
    auto r = std::from_chars(b, e, v.integer);
    if (r.ec == std::errc() && r.ptr == e) {
      v.kind = ScanValue::Kind::Int;
      return v;
    }
  }
  if (QuickReal(t, v.real) || ParseReal(t, v.real)) v.kind = ScanValue::Kind::Real;
  return v;
}

ScanValue ScanField(const DbfField& f, const char* record, std::string& scratch) {
  ScanValue v;
  switch (f.type) {
    case 'N':
    case 'F':
      return ScanNumber(f, record);
    case 'D': {
      const std::string_view t = TrimNumber(std::string_view(record + f.offset, f.length));
      if (t.empty()) return v;
      v.kind = ScanValue::Kind::Text;
      v.text = t;
      const bool digits = t.size() == 8 && t.find_first_not_of("0123456789") == std::string_view::npos;
      if (digits) {
        scratch.assign(t.substr(0, 4)).append("-").append(t.substr(4, 2)).append("-").append(t.substr(6, 2));
        v.text = scratch;
      }
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
