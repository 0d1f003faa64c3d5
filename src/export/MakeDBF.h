// TDBF writes an empty dBASE III table: the header, the field descriptors and
// the header terminator, nothing else. The table engine fills it later.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace drs {

// One field descriptor, as it lies in the file (32 bytes).
class TDBFField {
 public:
  std::string Name;           // upper case, 1251 bytes, at most 11
  char Type = 'C';            // C, N, L or D
  uint32_t Displacement = 0;  // 1 + the lengths of the fields before it
  uint8_t Length = 0;
  uint8_t Decimals = 0;
};

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
  // Lays out the records and writes the file (replacing one that exists).
  // True when it was written; else `error` (when given) gets the reason.
  bool CreateTable(std::string* error = nullptr);

  // The file's bytes for the fields added so far (also lays them out).
  std::string HeaderBytes();

  const std::vector<std::pair<std::string, std::unique_ptr<TDBFField>>>& Fields() const { return fields_; }
  uint8_t Version() const { return version_; }
  uint16_t HeaderLength() const { return headerLength_; }
  uint16_t RecordLength() const { return recordLength_; }

 private:
  bool Layout();

  uint8_t version_ = 3;
  uint8_t date_[3] = {95, 12, 28};
  uint32_t recordCount_ = 0;
  uint16_t headerLength_ = 0;
  uint16_t recordLength_ = 0;
  uint8_t reserved_[20] = {};
  std::vector<std::pair<std::string, std::unique_ptr<TDBFField>>> fields_;
};

}  // namespace drs
