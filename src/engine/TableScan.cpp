#include "engine/TableScan.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "utils/Cp1251.h"
#include "utils/Cp866.h"
#include "utils/TextCase.h"

namespace drs {

namespace {

constexpr size_t kChunkBytes = 1 << 20;

}  // namespace

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

DbfValue ScanField(const DbfField& f, const char* record, std::string& scratch) {
  if (f.type == 'N' || f.type == 'F') return DecodeDbfNumber(f, record);
  if (f.type == 'D' || f.type == 'L') {
    DbfFieldValue v;
    DecodeDbfField(f, record, v);
    if (v.text.data() == v.iso) v.text = scratch.assign(v.iso, sizeof v.iso);
    return static_cast<const DbfValue&>(v);
  }
  DbfValue v;
  v.kind = DbfValue::Kind::Text;
  v.text = ScanText(f, record, scratch);
  return v;
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
