#include "utils/Utils.h"

#include <chrono>
#include <climits>

#include "platform/Paths.h"
#include "platform/Process.h"

namespace drs {

CharSet MakeCharSet(std::string_view chars) {
  CharSet set;
  for (unsigned char c : chars) set.set(c);
  return set;
}

FieldSpan FindField(std::string_view line, const CharSet& separators, int n) {
  FieldSpan span;
  span.begin = line.size();
  if (n <= 0) return span;
  size_t pos = 0;
  int count = 0;
  while (pos < line.size() && count != n - 1) {
    if (separators.test(static_cast<unsigned char>(line[pos]))) ++count;
    ++pos;
  }
  if (count != n - 1) return span;
  size_t end = pos;
  while (end < line.size() && !separators.test(static_cast<unsigned char>(line[end]))) ++end;
  span.begin = pos;
  span.length = end - pos;
  span.found = true;
  return span;
}

std::string ExtractField(std::string_view line, const CharSet& separators, int n) {
  FieldSpan span = FindField(line, separators, n);
  return std::string(line.substr(span.begin, span.length));
}

bool IsBlank(std::string_view text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return true;
}

size_t CharCount(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++n;
  }
  return n;
}

size_t ByteOffsetOfChar(std::string_view text, size_t index) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == index) return i;
      ++chars;
    }
  }
  return text.size();
}

std::string LeftChars(std::string_view text, size_t n) {
  return std::string(text.substr(0, ByteOffsetOfChar(text, n)));
}

namespace {
// 1-based character position of a byte offset.
int CharPosOfByte(std::string_view text, size_t byte) {
  return static_cast<int>(CharCount(text.substr(0, byte))) + 1;
}
}  // namespace

int LastPos(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  size_t found = std::string_view::npos;
  size_t from = 0;
  for (;;) {
    size_t p = text.find(sub, from);
    if (p == std::string_view::npos) break;
    found = p;
    from = p + 1;
  }
  return found == std::string_view::npos ? 0 : CharPosOfByte(text, found);
}

int PosFrom(std::string_view sub, std::string_view text, int from, int count) {
  if (sub.empty() || from < 1 || count <= 0) return 0;
  size_t begin = ByteOffsetOfChar(text, static_cast<size_t>(from - 1));
  size_t end = ByteOffsetOfChar(text, static_cast<size_t>(from - 1) + static_cast<size_t>(count));
  if (begin >= end) return 0;
  size_t p = text.substr(begin, end - begin).find(sub);
  return p == std::string_view::npos ? 0 : CharPosOfByte(text, begin + p);
}

std::string CopyFrom(std::string_view text, int from, int count) {
  if (from < 1) from = 1;
  if (count < 0) return {};
  size_t begin = ByteOffsetOfChar(text, static_cast<size_t>(from - 1));
  if (count == 0) return std::string(text.substr(begin));
  size_t end = ByteOffsetOfChar(text, static_cast<size_t>(from - 1) + static_cast<size_t>(count));
  return std::string(text.substr(begin, end - begin));
}

void ReplaceChar(std::string& text, char a, char b) {
  if (a == b) return;
  for (char& c : text) {
    if (c == a) c = b;
  }
}

std::string RepeatChar(char c, int n) {
  return n <= 0 ? std::string() : std::string(static_cast<size_t>(n), c);
}

std::string StripTrailingDigits(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] >= '0' && text[end - 1] <= '9') --end;
  return std::string(text.substr(0, end));
}

std::string ExePath() {
  const std::string exe = platform::ProgramFile();
  if (exe.empty()) return "./";
  std::string folder = exe.substr(0, exe.find_last_of(platform::kSeparators));
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string ExeName() {
  const std::string exe = platform::ProgramFile();
  return exe.substr(exe.find_last_of(platform::kSeparators) + 1);
}

int MinInt(int a, int b) { return a < b ? a : b; }
int MaxInt(int a, int b) { return a > b ? a : b; }

int MaxWord(int a, int b) {
  uint16_t la = static_cast<uint16_t>(static_cast<unsigned>(a) & 0xFFFFu);
  uint16_t lb = static_cast<uint16_t>(static_cast<unsigned>(b) & 0xFFFFu);
  return la > lb ? a : b;
}

int IfThenInt(bool flag, int a, int b) { return flag ? a : b; }
std::string IfThenStr(bool flag, const std::string& a, const std::string& b) { return flag ? a : b; }

namespace {
DateNames& Names() {
  static DateNames names;
  return names;
}
}  // namespace

void SetRussianDateNames() {
  Names() = DateNames{
      {"Вск", "Пнд", "Втр", "Срд", "Чтв", "Птн", "Сбт"},
      {"Янв", "Фев", "Мар", "Апр", "Май", "Июн", "Июл", "Авг", "Сен", "Окт", "Ноя", "Дек"},
      {"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь", "Июль", "Август", "Сентябрь", "Октябрь",
       "Ноябрь", "Декабрь"},
  };
}

const DateNames& CurrentDateNames() { return Names(); }

bool ValidDate(int year, int month, int day) {
  using namespace std::chrono;
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
         year_month_day(std::chrono::year(year), std::chrono::month(unsigned(month)),
                        std::chrono::day(unsigned(day)))
             .ok();
}

}  // namespace drs
