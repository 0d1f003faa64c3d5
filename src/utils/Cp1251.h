// Windows-1251 at the file edge: every file we read or write is 1251; inside
// the program text is UTF-8.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

namespace drs {

// Every byte decodes: the one unassigned byte (0x98) maps to U+0098 so that
// any file round-trips unchanged.
std::string Cp1251ToUtf8(std::string_view bytes);
// Characters that 1251 cannot hold become "?"; malformed UTF-8 bytes too.
std::string Utf8ToCp1251(std::string_view text);
// True when every character of the text has a 1251 byte.
bool FitsCp1251(std::string_view text);

// Decodes one UTF-8 character at `pos` and advances it; malformed input gives
// U+FFFD and advances by one byte.
char32_t NextCodePoint(std::string_view text, size_t& pos);
void AppendUtf8(std::string& out, char32_t cp);

// The byte of a character in a code page whose bytes below 0x80 are ASCII,
// given the code points of its bytes 0x80..0xFF (1251 and 866 alike).
class UpperHalfEncoder {
 public:
  explicit UpperHalfEncoder(const std::array<char16_t, 128>& high);
  // False when the code page has no byte for the character.
  bool Encode(char32_t cp, unsigned char& byte) const;

 private:
  std::unordered_map<char32_t, unsigned char> bytes_;
};

}  // namespace drs
