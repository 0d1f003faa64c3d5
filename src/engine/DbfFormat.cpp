#include "engine/DbfFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/EDBEngineError.h"
#include "platform/Process.h"
#include "utils/Cp1251.h"
#include "utils/Cp866.h"
#include "utils/NumberText.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

namespace {

// The code page that the language driver byte names; 0 for one whose text
// we cannot read or write.
uint16_t CodePageOf(unsigned char driver) {
  switch (driver) {
    case 0x00:
    case 0xC9:
      return 1251;
    case 0x26:
    case 0x65:
      return 866;
    default:
      return 0;
  }
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\0')) --e;
  return s.substr(b, e - b);
}

bool Digits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}

int Number(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

bool Ascii(std::string_view s) {
  uint64_t bits = 0;
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, s.data() + i, 8);
    bits |= word;
  }
  for (; i < s.size(); ++i) bits |= static_cast<unsigned char>(s[i]);
  return (bits & 0x8080808080808080ULL) == 0;
}

// "YYYYMMDD", "YYYY-MM-DD" or "DD.MM.YYYY" as the eight bytes YYYYMMDD.
bool DateBytes(std::string_view t, char out[8]) {
  int y, m, d;
  if (t.size() == 8 && Digits(t)) {
    y = Number(t.substr(0, 4)), m = Number(t.substr(4, 2)), d = Number(t.substr(6, 2));
  } else if (t.size() == 10 && t[4] == '-' && t[7] == '-' && Digits(t.substr(0, 4)) &&
             Digits(t.substr(5, 2)) && Digits(t.substr(8, 2))) {
    y = Number(t.substr(0, 4)), m = Number(t.substr(5, 2)), d = Number(t.substr(8, 2));
  } else if (t.size() == 10 && t[2] == '.' && t[5] == '.' && Digits(t.substr(0, 2)) &&
             Digits(t.substr(3, 2)) && Digits(t.substr(6, 4))) {
    d = Number(t.substr(0, 2)), m = Number(t.substr(3, 2)), y = Number(t.substr(6, 4));
  } else {
    return false;
  }
  if (!ValidDate(y, m, d)) return false;
  auto put = [](char* p, int v, int width) {
    for (int i = width - 1; i >= 0; --i, v /= 10) p[i] = char('0' + v % 10);
  };
  put(out, y, 4);
  put(out + 4, m, 2);
  put(out + 6, d, 2);
  return true;
}

// Digits two at a time: half the divisions of one at a time.
constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
    "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";

// `d` with `decimals` places exactly as to_chars(fixed) writes it, without
// its cost: the scaled value is rounded to an integer unless it lies so near
// a half that the product's rounding error could tip it (then null, and
// the caller formats it the slow way). The text is written backwards, to
// end at `end` (as a field's value ends), and its first byte returned.
const char* QuickFixed(double d, int decimals, char* end) {
  if (decimals < 0 || decimals > 15) return nullptr;
  const double p = std::fabs(d) * plain_decimal::kPow10[decimals];
  if (!(p < 1e15)) return nullptr;
  const uint64_t floor = uint64_t(p);  // p is not negative
  const double whole = double(floor);
  // Twice the spacing of doubles near p, at least (p < 2^50).
  const double margin = p * 0x1p-51;
  if (std::fabs(p - whole - 0.5) <= margin) return nullptr;
  uint64_t v = floor + (p - whole > 0.5 ? 1 : 0);
  const bool negative = d < 0 && v != 0;
  char* at = end;
  int places = decimals;
  for (; places >= 2; places -= 2, v /= 100) std::memcpy(at -= 2, kDigitPairs + 2 * (v % 100), 2);
  if (places == 1) {
    *--at = char('0' + v % 10);
    v /= 10;
  }
  if (decimals > 0) *--at = '.';
  for (; v >= 100; v /= 100) std::memcpy(at -= 2, kDigitPairs + 2 * (v % 100), 2);
  if (v >= 10)
    std::memcpy(at -= 2, kDigitPairs + 2 * v, 2);
  else
    *--at = char('0' + v);
  if (negative) *--at = '-';
  return at;
}

// A value that does not fit its field: the next row may well fit.
EDBEngineError RowError(const std::string& message) {
  return EDBEngineError(message, EDBEngineError::Scope::Row);
}

}  // namespace

void DbfToday(unsigned char out[3]) {
  // Local time is worked out again only when the minute changes, and every
  // time zone's midnight falls on a minute boundary.
  thread_local std::time_t minute = -1;
  thread_local unsigned char bytes[3];
  std::time_t now = std::time(nullptr);
  if (now / 60 != minute) {
    std::tm tm{};
    platform::LocalTime(now, tm);
    bytes[0] = static_cast<unsigned char>(tm.tm_year % 256);
    bytes[1] = static_cast<unsigned char>(tm.tm_mon + 1);
    bytes[2] = static_cast<unsigned char>(tm.tm_mday);
    minute = now / 60;
  }
  std::memcpy(out, bytes, 3);
}

std::string DbfHeader::Read(uint64_t fileSize,
                            const std::function<void(uint64_t at, size_t n, void* out)>& read) {
  fields.clear();
  if (fileSize < 33) return "не является таблицей dBASE (слишком короткий)";
  unsigned char h[32];
  read(0, sizeof h, h);
  // dBASE III and its memo variant; FoxPro and later layouts are refused.
  if ((h[0] & 0x07) != 0x03 || (h[0] & 0x70) != 0)
    return "не является таблицей dBASE III (версия " + std::to_string(h[0]) + ")";
  codePage = CodePageOf(h[29]);
  language = h[29];
  productionIndex = (h[28] & 1) != 0;
  if (codePage == 0) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", h[29]);
    return "записан в кодировке, которую программа не поддерживает (байт языка " + std::string(hex) +
           "); таблица не изменена";
  }
  count = DbfGet32(h + kDbfCountAt);
  headerLength = DbfGet16(h + 8);
  recordLength = DbfGet16(h + 10);
  if (headerLength < 33 || headerLength > fileSize)
    return "повреждён: длина заголовка " + std::to_string(headerLength) + " не соответствует размеру файла";

  std::string desc(headerLength - 32, '\0');
  read(32, desc.size(), desc.data());
  size_t pos = 0;
  uint32_t offset = 1;
  while (true) {
    if (pos >= desc.size()) return "повреждён: нет конца описания полей";
    if (static_cast<unsigned char>(desc[pos]) == 0x0D) break;
    if (pos + 32 > desc.size()) return "повреждён: нет конца описания полей";
    const auto* d = reinterpret_cast<const unsigned char*>(desc.data() + pos);
    DbfField f;
    size_t nameLen = 0;
    while (nameLen < 11 && d[nameLen] != 0) ++nameLen;
    const std::string_view rawName(reinterpret_cast<const char*>(d), nameLen);
    f.name = codePage == 866 ? Cp866ToUtf8(rawName) : Cp1251ToUtf8(rawName);
    f.type = static_cast<char>(d[11]);
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 'a' + 'A');
    f.length = d[16];
    f.decimals = d[17];
    f.codePage = codePage;
    if (f.name.empty()) return "повреждён: поле " + std::to_string(fields.size() + 1) + " без имени";
    if (f.length == 0) return "повреждён: поле " + f.name + " нулевой длины";
    f.offset = offset;
    offset += f.length;
    fields.push_back(std::move(f));
    pos += 32;
  }
  if (fields.empty()) return "не содержит ни одного поля";
  if (offset != recordLength)
    return "повреждён: длина записи в заголовке (" + std::to_string(recordLength) +
           ") не равна сумме длин полей (" + std::to_string(offset) + ")";
  // Bytes past the last counted record (an end-of-file mark, a record cut
  // off by a crash) are ignored; fewer bytes than counted is a damaged file.
  if (uint64_t(headerLength) + uint64_t(count) * recordLength > fileSize)
    return "повреждён: заголовок указывает " + std::to_string(count) +
           " записей, а в файле место только для " + std::to_string((fileSize - headerLength) / recordLength);
  return {};
}

uint16_t DbfLayout(std::vector<DbfField>& fields) {
  uint32_t sum = 0;
  for (auto& f : fields) {
    f.offset = sum + 1;
    sum += f.length;
  }
  // Counts that do not fit their 16 bits would give a damaged header.
  if (32 * uint32_t(fields.size()) + 33 > 0xFFFF || sum + 1 > 0xFFFF) return 0;
  return static_cast<uint16_t>(sum + 1);
}

std::string DbfHeaderBytes(const std::vector<DbfField>& fields, uint32_t count, const unsigned char date[3]) {
  const size_t headerLength = 32 * fields.size() + 33;
  uint32_t recordLength = 1;
  for (const auto& f : fields) recordLength += f.length;
  std::string out(headerLength, '\0');
  auto* h = reinterpret_cast<unsigned char*>(out.data());
  h[0] = 3;
  std::memcpy(h + kDbfDateAt, date, 3);
  DbfPut32(h + kDbfCountAt, count);
  DbfPut16(h + 8, uint32_t(headerLength));
  DbfPut16(h + 10, recordLength);
  for (size_t i = 0; i < fields.size(); ++i) {
    const DbfField& f = fields[i];
    unsigned char* d = h + 32 + 32 * i;
    const std::string name = f.codePage == 866 ? Utf8ToCp866(f.name) : Utf8ToCp1251(f.name);
    std::memcpy(d, name.data(), std::min<size_t>(name.size(), 11));
    d[11] = static_cast<unsigned char>(f.type);
    DbfPut32(d + 12, f.offset);
    d[16] = f.length;
    d[17] = f.decimals;
  }
  h[headerLength - 1] = 0x0D;
  return out;
}

namespace {

// A number's digits right-aligned in a numeric field.
void PutDigits(const DbfField& f, std::string_view digits, char* record) {
  if (digits.size() > f.length)
    throw RowError("Число " + std::string(digits) + " не помещается в поле " + f.name + " (N " +
                   std::to_string(f.length) + "." + std::to_string(f.decimals) + ")");
  std::memcpy(record + f.offset + f.length - digits.size(), digits.data(), digits.size());
}

void PutNumber(const DbfField& f, double d, char* record) {
  if (!std::isfinite(d)) throw RowError("Значение поля " + f.name + " не является числом");
  char b[400];
  std::string_view digits;
  if (const char* first = QuickFixed(d, int(f.decimals), b + sizeof b)) {
    digits = std::string_view(first, size_t(b + sizeof b - first));
  } else {
    auto r = std::to_chars(b, b + sizeof b, d, std::chars_format::fixed, int(f.decimals));
    if (r.ec != std::errc()) throw RowError("Число не помещается в поле " + f.name);
    digits = std::string_view(b, size_t(r.ptr - b));
  }
  // A negative value that rounds to zero is written as zero.
  if (digits[0] == '-' && digits.find_first_not_of("-0.") == std::string_view::npos) digits.remove_prefix(1);
  PutDigits(f, digits, record);
}

void PutDate(const DbfField& f, std::string_view text, char* record) {
  const std::string_view t = Trim(text);
  if (t.empty()) return;
  char bytes[8];
  if (f.length != 8 || !DateBytes(t, bytes))
    throw RowError("Значение \"" + std::string(text) + "\" поля " + f.name + " не является датой");
  std::memcpy(record + f.offset, bytes, 8);
}

void PutText(const DbfField& f, std::string_view text, char* record) {
  char* p = record + f.offset;
  auto tooLong = [&] {
    return RowError("Значение \"" + std::string(text) + "\" длиннее поля " + f.name + " (" +
                    std::to_string(f.length) + " знаков)");
  };
  // ASCII text is its own 1251 encoding.
  if (Ascii(text)) {
    if (text.size() > f.length) throw tooLong();
    std::memcpy(p, text.data(), text.size());
    return;
  }
  const bool dos = f.codePage == 866;
  if (dos ? !FitsCp866(text) : !FitsCp1251(text))
    throw RowError("Значение \"" + std::string(text) + "\" поля " + f.name +
                   " содержит знаки вне кодировки " + std::to_string(f.codePage));
  std::string bytes = dos ? Utf8ToCp866(text) : Utf8ToCp1251(text);
  if (bytes.size() > f.length) throw tooLong();
  std::memcpy(p, bytes.data(), bytes.size());
}

// A number in a date or character field stands for its text, as SQL would
// give it: 1, not 1.0, for a whole number in a character field.
std::string_view RealText(double real, bool wholeAsInteger, char (&num)[32]) {
  if (wholeAsInteger && real == std::trunc(real) && std::fabs(real) < 1e15)
    return std::string_view(num, size_t(std::to_chars(num, num + sizeof num, int64_t(real)).ptr - num));
  if (wholeAsInteger)
    return std::string_view(num, size_t(std::to_chars(num, num + sizeof num, real).ptr - num));
  int n = std::snprintf(num, sizeof num - 2, "%.15g", real);
  if (std::strpbrk(num, ".eni") == nullptr) num[n++] = '.', num[n++] = '0';
  return std::string_view(num, size_t(n));
}

}  // namespace

void EncodeDbfField(const DbfField& f, const DbfValue& v, char* record) {
  // No value stays blank, a logical field too: every reader takes a blank
  // for "not set", where some read "?" as false.
  switch (v.kind) {
    case DbfValue::Kind::Null:
      return;
    case DbfValue::Kind::Int:
      return EncodeDbfField(f, v.integer, record);
    case DbfValue::Kind::Real:
      return EncodeDbfField(f, v.real, record);
    case DbfValue::Kind::Text:
      return EncodeDbfField(f, v.text, record);
  }
}

void EncodeDbfField(const DbfField& f, int64_t integer, char* record) {
  char num[32];
  const std::string_view text(num, size_t(std::to_chars(num, num + sizeof num, integer).ptr - num));
  switch (f.type) {
    case 'N':
    case 'F':
      if (f.decimals == 0) return PutDigits(f, text, record);
      return PutNumber(f, double(integer), record);
    case 'D':
      return PutDate(f, text, record);
    case 'L':
      record[f.offset] = integer != 0 ? 'T' : 'F';
      return;
    default:
      return PutText(f, text, record);
  }
}

void EncodeDbfField(const DbfField& f, double real, char* record) {
  char num[32];
  switch (f.type) {
    case 'N':
    case 'F':
      return PutNumber(f, real, record);
    case 'D':
      return PutDate(f, RealText(real, false, num), record);
    case 'L':
      record[f.offset] = real != 0 ? 'T' : 'F';
      return;
    default:
      return PutText(f, RealText(real, true, num), record);
  }
}

void EncodeDbfField(const DbfField& f, std::string_view text, char* record) {
  switch (f.type) {
    case 'N':
    case 'F': {
      // Numbers go into numeric fields without a detour through text.
      const std::string_view t = Trim(text);
      if (t.empty()) return;
      double d = 0;
      if (!ParseDbfNumber(t, d))
        throw RowError("Значение \"" + std::string(text) + "\" поля " + f.name + " не является числом");
      return PutNumber(f, d, record);
    }
    case 'D':
      return PutDate(f, text, record);
    case 'L': {
      const std::string t = FoldCase(std::string(Trim(text)));
      if (t == "t" || t == "y" || t == "1" || t == "да" || t == "true")
        record[f.offset] = 'T';
      else if (t == "f" || t == "n" || t == "0" || t == "нет" || t == "false")
        record[f.offset] = 'F';
      else if (!t.empty())
        throw RowError("Значение \"" + std::string(text) + "\" поля " + f.name + " не является логическим");
      return;
    }
    default:
      return PutText(f, text, record);
  }
}

bool ParseDbfNumber(std::string_view text, double& v) { return ReadDecimalNumber(text, v); }

DbfValue DecodeDbfNumber(const DbfField& f, const char* record) {
  DbfValue v;
  const std::string_view t = Trim(std::string_view(record + f.offset, f.length));
  if (t.empty()) return v;
  if (f.decimals == 0 && ReadWholeNumber(t, v.integer)) {
    v.kind = DbfValue::Kind::Int;
    return v;
  }
  if (ParseDbfNumber(t, v.real)) v.kind = DbfValue::Kind::Real;
  return v;
}

void DecodeDbfField(const DbfField& f, const char* record, DbfFieldValue& v) {
  const char* p = record + f.offset;
  v.kind = DbfValue::Kind::Null;
  switch (f.type) {
    case 'N':
    case 'F':
      static_cast<DbfValue&>(v) = DecodeDbfNumber(f, record);
      return;
    case 'D': {
      std::string_view t = Trim(std::string_view(p, f.length));
      if (t.empty()) return;
      v.kind = DbfValue::Kind::Text;
      v.text = t;
      if (t.size() == 8 && Digits(t)) {
        const char iso[10] = {t[0], t[1], t[2], t[3], '-', t[4], t[5], '-', t[6], t[7]};
        std::memcpy(v.iso, iso, 10);
        v.text = std::string_view(v.iso, 10);
      }
      return;
    }
    case 'L': {
      char c = *p;
      if (c == 'T' || c == 't' || c == 'Y' || c == 'y') v.kind = DbfValue::Kind::Int, v.integer = 1;
      if (c == 'F' || c == 'f' || c == 'N' || c == 'n') v.kind = DbfValue::Kind::Int, v.integer = 0;
      return;
    }
    default: {
      size_t n = f.length;
      while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
      v.kind = DbfValue::Kind::Text;
      // ASCII needs no decoding: taken from the record itself.
      if (Ascii(std::string_view(p, n))) {
        v.text = std::string_view(p, n);
      } else {
        v.decoded = DbfFieldText(f, record);
        v.text = v.decoded;
      }
    }
  }
}

std::string DbfFieldText(const DbfField& f, const char* record) {
  const char* p = record + f.offset;
  size_t n = f.length;
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
  if (Ascii(std::string_view(p, n))) return std::string(p, n);
  return f.codePage == 866 ? Cp866ToUtf8(std::string_view(p, n)) : Cp1251ToUtf8(std::string_view(p, n));
}

}  // namespace drs
