// Text utilities shared by every unit. Texts are UTF-8; positions and counts
// are characters (code points), counted from 1, as in the 1251 files we read.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

namespace drs {

// A set of separator bytes. Separators used by the program are ASCII, so a
// byte-wise scan of UTF-8 text gives the same fields as a scan of 1251 text.
using CharSet = std::bitset<256>;
CharSet MakeCharSet(std::string_view chars);

// The n-th field (from 1); every separator counts, no quoting, no trimming.
std::string ExtractField(std::string_view line, const CharSet& separators, int n);
// Byte range of the n-th field; `found` is false when the line has fewer than
// n-1 separators (the field is then empty and `begin` is the line's length).
struct FieldSpan {
  size_t begin = 0;
  size_t length = 0;
  bool found = false;
};
FieldSpan FindField(std::string_view line, const CharSet& separators, int n);

// True when every character is a space, tab, CR or LF (also for "").
bool IsBlank(std::string_view text);
// Start of the last (possibly overlapping) occurrence of sub, 0 when none.
int LastPos(std::string_view sub, std::string_view text);
// First occurrence of sub lying wholly inside the count characters from `from`.
int PosFrom(std::string_view sub, std::string_view text, int from, int count);
// count characters from `from`; count 0 means up to the end.
std::string CopyFrom(std::string_view text, int from, int count);
void ReplaceChar(std::string& text, char a, char b);
std::string RepeatChar(char c, int n);
// Up to and including the last character that is not a digit 0-9.
std::string StripTrailingDigits(std::string_view text);

// Folder of the running executable with the trailing separator, and its name.
std::string ExePath();
std::string ExeName();

int MinInt(int a, int b);
int MaxInt(int a, int b);
// Compares the low 16 bits as unsigned numbers; returns the whole greater argument.
int MaxWord(int a, int b);
int IfThenInt(bool flag, int a, int b);
std::string IfThenStr(bool flag, const std::string& a, const std::string& b);

// Character helpers on UTF-8 text.
size_t CharCount(std::string_view text);
// Byte offset of character number `index` (0-based); text.size() past the end.
size_t ByteOffsetOfChar(std::string_view text, size_t index);
// The first n characters.
std::string LeftChars(std::string_view text, size_t n);

// A calendar date of the years 1..9999: the one calendar check.
bool ValidDate(int year, int month, int day);

// Russian date names, set once at start (SetRussianDateNames).
struct DateNames {
  std::array<std::string, 7> shortDays;  // Sunday first
  std::array<std::string, 12> shortMonths;
  std::array<std::string, 12> longMonths;
};
void SetRussianDateNames();
const DateNames& CurrentDateNames();

}  // namespace drs
