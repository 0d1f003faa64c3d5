// The dBASE III format, apart from any file: the field descriptor, the
// header read from bytes and built into bytes, and the field codec (one
// value into a field's bytes, a field's bytes into a value).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DbValue.h"

namespace drs {

struct DbfField {
  std::string name;     // UTF-8
  char type = 'C';      // C N F D L, anything else is read as text
  uint32_t offset = 0;  // in the record, after the deletion flag
  uint8_t length = 0;
  uint8_t decimals = 0;
  uint16_t codePage = 1251;  // of the text in C fields: 1251 or 866
};

inline uint16_t DbfGet16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t DbfGet32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void DbfPut16(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void DbfPut32(unsigned char* p, uint32_t v) {
  DbfPut16(p, v);
  DbfPut16(p + 2, v >> 16);
}

// Where the header keeps what every write changes: the date of the last
// change (year - 1900, month, day) at 1..3, the record count at 4..7.
constexpr size_t kDbfDateAt = 1, kDbfCountAt = 4;
// Today's date as the header holds it.
void DbfToday(unsigned char out[3]);

struct DbfHeader {
  uint32_t count = 0;
  uint16_t headerLength = 0;
  uint16_t recordLength = 0;
  uint16_t codePage = 1251;
  uint8_t language = 0;          // byte 29: 0 says nothing of the code page
  bool productionIndex = false;  // byte 28: an .mdx index goes with the table
  std::vector<DbfField> fields;

  // Reads and checks a header of a file of `fileSize` bytes; `read(at, n,
  // out)` reads bytes of the file (it throws when it cannot). Returns "" or
  // what is wrong with the file (Russian, to follow its name).
  std::string Read(uint64_t fileSize, const std::function<void(uint64_t at, size_t n, void* out)>& read);
};

// Gives the fields their offsets; the record length, or 0 when the record
// or the header outgrows the 16 bits that count it.
uint16_t DbfLayout(std::vector<DbfField>& fields);
// The bytes of an empty dBASE III table's header (1251 text) for fields
// laid out by DbfLayout: fixed part, descriptors, terminator.
std::string DbfHeaderBytes(const std::vector<DbfField>& fields, uint32_t count, const unsigned char date[3]);

// Writes `v` into the field's place in `record`, which must be blank
// (spaces) there; a value that does not fit is refused with a row-scoped
// EDBEngineError, never cut.
void EncodeDbfField(const DbfField& f, const DbfValue& v, char* record);
// The same of a value whose kind the caller knows: no value to build, the
// number in a register (the export's records).
void EncodeDbfField(const DbfField& f, int64_t integer, char* record);
void EncodeDbfField(const DbfField& f, double real, char* record);
void EncodeDbfField(const DbfField& f, std::string_view text, char* record);

// A decoded field. Text points into the record unless it had to be decoded
// or reshaped; then into the value itself, which must stay where it is.
struct DbfFieldValue : DbfValue {
  char iso[10];
  std::string decoded;
  DbfFieldValue() = default;
  DbfFieldValue(const DbfFieldValue&) = delete;
  DbfFieldValue& operator=(const DbfFieldValue&) = delete;
};
void DecodeDbfField(const DbfField& f, const char* record, DbfFieldValue& v);
// An N or F field: blanks and tabs before, blanks, tabs and NULs after are
// cut; an integer when the field has no decimals and the text is one, else
// a real, or null when blank or no number.
DbfValue DecodeDbfNumber(const DbfField& f, const char* record);
// A text as a number: "," taken as the decimal point, one leading "+"
// ignored, the whole text a finite number.
bool ParseDbfNumber(std::string_view text, double& v);

// Field text of one record (trailing blanks cut, decoded from the table's
// code page).
std::string DbfFieldText(const DbfField& f, const char* record);

}  // namespace drs
