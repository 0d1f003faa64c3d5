// TDBF writes an empty dBASE III table: the header, the field descriptors and
// the header terminator, nothing else. The table engine fills it later.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbfFormat.h"

namespace drs {

class TDBF {
 public:
  TDBF();

  std::string FileName;

  // The type letter is upper-cased; only C, N, L and D are taken. A name
  // that does not fit the 11 bytes of a descriptor, an empty one, a length
  // outside 1..255 or decimals outside 0..255 are refused as well (false).
  bool AddField(const std::string& name, const std::string& type, int length, int decimals);
  bool AddField(const std::string& name, char type, int length, int decimals) {
    return AddField(name, std::string(1, type), length, decimals);
  }
  // Lays out the records and writes the file. An existing file is replaced
  // under its exclusive lock, as the engine's writers take it, so no rows
  // of a writer still at work go into the replaced file. True when it was
  // written; else `error` (when given) gets the reason.
  bool CreateTable(std::string* error = nullptr);

  // The file's bytes for the fields added so far (also lays them out).
  std::string HeaderBytes();

  const std::vector<DbfField>& Fields() const { return fields_; }

 private:
  static constexpr unsigned char kDate[3] = {95, 12, 28};
  std::vector<DbfField> fields_;
};

}  // namespace drs
