// Export lines as records of the table they go into: each value put into
// the table's own field of its column's name, as the insert of one deal
// would put it, and a line refused when a field cannot hold its value
// exactly (a text too long, digits of a number lost to fewer decimals).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/DbfFormat.h"

namespace drs {

class ExportLines;
struct ExportLine;

class OutputRecords {
 public:
  // The table's fields; `table` names it in messages. Throws EDBEngineError
  // (not row-scoped) when a column of the output deal table is missing.
  // The trade date and broker code are the same in every row.
  OutputRecords(const std::vector<DbfField>& fields, const std::string& table, int year, int month, int day,
                std::string_view brokerAcc);

  size_t RecordLength() const { return blank_.size(); }
  // Writes the line's record (RecordLength bytes) to `record`. Throws a
  // row-scoped EDBEngineError saying which value does not fit.
  void Encode(const ExportLines& lines, const ExportLine& line, char* record) const;

 private:
  std::vector<DbfField> fields_;
  const DbfField* clientId_ = nullptr;
  const DbfField* ticker_ = nullptr;
  const DbfField* operType_ = nullptr;
  const DbfField* price_ = nullptr;
  const DbfField* qty_ = nullptr;
  const DbfField* sdel_ = nullptr;
  std::string blank_;     // every other field, the date and the broker code in place
  std::string constant_;  // why the date or the broker code does not fit, if so
};

}  // namespace drs
