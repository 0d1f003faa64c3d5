#include "engine/RecordOrder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace drs {

namespace {

// Bytes that are equal exactly when the values are equal for SQLite.
void AppendValueKey(const DbfValue& v, std::string& key) {
  int64_t i = v.integer;
  DbfValue::Kind kind = v.kind;
  // A whole real equals the integer of the same value.
  if (kind == DbfValue::Kind::Real && v.real == std::trunc(v.real) && std::fabs(v.real) < 9e18)
    kind = DbfValue::Kind::Int, i = int64_t(v.real);
  key.push_back(char(kind));
  if (kind == DbfValue::Kind::Int) key.append(reinterpret_cast<const char*>(&i), sizeof i);
  if (kind == DbfValue::Kind::Real) key.append(reinterpret_cast<const char*>(&v.real), sizeof v.real);
  if (kind == DbfValue::Kind::Text) {
    uint32_t n = uint32_t(v.text.size());
    key.append(reinterpret_cast<const char*>(&n), sizeof n).append(v.text);
  }
}

}  // namespace

int CompareValues(const DbfValue& a, const DbfValue& b) {
  auto rank = [](const DbfValue& v) {
    return v.kind == DbfValue::Kind::Null ? 0 : v.kind == DbfValue::Kind::Text ? 2 : 1;
  };
  int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra == 1) {
    if (a.kind == DbfValue::Kind::Int && b.kind == DbfValue::Kind::Int)
      return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
    // Wide enough for every int64 and double alike.
    long double x = a.kind == DbfValue::Kind::Int ? static_cast<long double>(a.integer) : a.real;
    long double y = b.kind == DbfValue::Kind::Int ? static_cast<long double>(b.integer) : b.real;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (ra == 2) {
    int c = a.text.compare(b.text);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  return 0;
}

void FirstOfEachValue(const std::vector<DbfField>& fields, const RecordSet& records,
                      const std::vector<int>& cols, std::vector<uint32_t>& rows) {
  std::unordered_map<std::string, uint32_t> seen;
  std::string key;
  DbfFieldValue v;
  size_t kept = 0;
  for (uint32_t r : rows) {
    const char* rec = records.At(r);
    if (rec[0] == '*') continue;
    key.clear();
    for (int c : cols) {
      DecodeDbfField(fields[size_t(c)], rec, v);
      AppendValueKey(v, key);
    }
    if (seen.try_emplace(key, r).second) rows[kept++] = r;
  }
  rows.resize(kept);
}

// Records with the same bytes in the columns form a group; only the groups
// are compared.
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
  std::deque<DbfFieldValue> values;  // cols.size() per group, read in place
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
      for (int c : cols) DecodeDbfField(fields[size_t(c)], rec, values.emplace_back());
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

}  // namespace drs
