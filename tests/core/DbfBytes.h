// Tables written byte by byte for the tests that read them: the header as
// TDBF makes it, then records exactly as given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TempDir.h"
#include "export/MakeDBF.h"
#include "utils/Cp1251.h"
#include "utils/Cp866.h"

namespace drs::test {

struct FieldSpec {
  const char* name;
  char type;
  int length, decimals;
};

// One record: '*' when deleted, then each value encoded in `codePage` (C
// fields) and padded to its field, numbers to the right; a value of the
// field's whole length goes in as it stands.
inline std::string RecordBytes(const std::vector<FieldSpec>& fields, const std::vector<std::string>& values,
                               bool deleted = false, int codePage = 1251) {
  std::string rec(1, deleted ? '*' : ' ');
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string v = i < values.size() ? values[i] : "";
    if (fields[i].type == 'C') v = codePage == 866 ? Utf8ToCp866(v) : Utf8ToCp1251(v);
    const size_t width = size_t(fields[i].length);
    if (v.size() > width) v.resize(width);
    const bool right = fields[i].type == 'N' || fields[i].type == 'F';
    const std::string pad(width - v.size(), ' ');
    rec += right ? pad + v : v + pad;
  }
  return rec;
}

// Writes the table at `path` with the language byte `language` (0xC9: 1251,
// 0x65: 866) and the records.
inline void WriteTable(const std::string& path, const std::vector<FieldSpec>& fields,
                       const std::vector<std::string>& records, unsigned char language = 0xC9) {
  TDBF dbf;
  // TDBF makes no F fields: made as N, then retyped.
  for (const FieldSpec& f : fields) dbf.AddField(f.name, f.type == 'F' ? 'N' : f.type, f.length, f.decimals);
  dbf.FileName = path;
  dbf.CreateTable();
  std::string bytes = ReadBytes(path);
  const size_t header = size_t(uint8_t(bytes[8])) | size_t(uint8_t(bytes[9])) << 8;
  bytes.resize(header);
  bytes[29] = char(language);
  for (size_t i = 0; i < fields.size(); ++i) bytes[32 + 32 * i + 11] = fields[i].type;
  for (int i = 0; i < 4; ++i) bytes[size_t(4 + i)] = char(uint32_t(records.size()) >> (8 * i));
  for (const std::string& r : records) bytes += r;
  WriteBytes(path, bytes);
}

}  // namespace drs::test
