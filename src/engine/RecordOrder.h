// Ordering and grouping of records held in memory by the values of some of
// their fields, as SQLite orders and compares values: the engine serves
// ORDER BY, GROUP BY and DISTINCT on plain columns with these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/DbfFormat.h"

namespace drs {

// Records held in memory, one after the other.
struct RecordSet {
  const char* base;
  size_t length;
  const char* At(uint32_t i) const { return base + size_t(i) * length; }
};

// SQLite's order of values: NULL first, then numbers by value, then text
// byte by byte.
int CompareValues(const DbfValue& a, const DbfValue& b);

// One live record for each value of the columns `cols`, in the order the
// values are first met: what SQLite's DISTINCT gives, without its index.
void FirstOfEachValue(const std::vector<DbfField>& fields, const RecordSet& records,
                      const std::vector<int>& cols, std::vector<uint32_t>& rows);

// Puts the live records of `rows` in the order of the columns `cols`, equal
// keys in record order, so SQLite needs no sorter.
void OrderRows(const std::vector<DbfField>& fields, const RecordSet& records, const std::vector<int>& cols,
               std::vector<uint32_t>& rows);

}  // namespace drs
