// A sequential reader of one table's records straight from its file: chunks
// of records read into one reused buffer (a few MB whatever the table's
// size), deleted records skipped, and decoders for single fields that give
// the values statements over the table give, without a string per cell.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DbfFile.h"

namespace drs {

// Text of a C field without trailing blanks; ASCII is taken from the record
// itself, anything else is decoded into `scratch`.
std::string_view ScanText(const DbfField& f, const char* record, std::string& scratch);
// Value of any field as statements see it: N and F fields as DecodeDbfNumber
// reads them; C fields text without trailing blanks, decoded from the
// table's code page; D fields text (YYYY-MM-DD when the eight bytes are
// digits); L fields 1, 0 or null. Text points into the record or `scratch`.
DbfValue ScanField(const DbfField& f, const char* record, std::string& scratch);

class TableScan {
 public:
  // The table file at `path` (exact name); EDBEngineError, in Russian, when
  // it is missing or no table. Changes by another program since it was last
  // opened are taken in.
  explicit TableScan(const std::string& path);

  const std::vector<DbfField>& Fields() const { return file_->Fields(); }
  // Index of the field named `name` in any letter case, or -1.
  int FieldIndex(std::string_view name) const;
  // Counted records when the scan was made.
  uint32_t RecordCount() const { return count_; }

  // Calls visit(record number from 1, record bytes) for every record of
  // [first, last] (numbers from 1, cut to the counted records) that is not
  // deleted, in order. A file cut short meanwhile throws EDBEngineError.
  template <class Visit>
  void Scan(uint32_t first, uint32_t last, Visit&& visit) {
    if (first < 1) first = 1;
    if (last > count_) last = count_;
    const size_t length = file_->RecordLength();
    for (uint32_t at = first; at <= last && at != 0;) {
      const uint32_t n = std::min<uint32_t>(chunk_, last - at + 1);
      file_->ReadRecords(at - 1, n, buffer_);
      const char* rec = buffer_.data();
      for (uint32_t i = 0; i < n; ++i, rec += length)
        if (rec[0] != '*') visit(at + i, rec);
      if (last - at < n) break;
      at += n;
    }
  }
  template <class Visit>
  void Scan(Visit&& visit) {
    Scan(1, count_, visit);
  }

 private:
  std::shared_ptr<DbfFile> file_;
  uint32_t count_ = 0;
  uint32_t chunk_ = 1;
  std::string buffer_;
};

}  // namespace drs
