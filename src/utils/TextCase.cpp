#include "utils/TextCase.h"

#include <functional>

#include "utils/Cp1251.h"

namespace drs {

namespace {

char32_t LowerOf(char32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp >= 0x0410 && cp <= 0x042F) return cp + 0x20;  // А..Я
  if (cp >= 0x0400 && cp <= 0x040F) return cp + 0x50;  // Ѐ..Џ, Ё among them
  if (cp == 0x0490) return 0x0491;                     // Ґ
  return cp;
}

char32_t UpperOf(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;
  if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;
  if (cp == 0x0491) return 0x0490;
  return cp;
}

template <typename Map>
std::string MapCase(std::string_view text, Map map) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      out += static_cast<char>(map(c));
      ++pos;
      continue;
    }
    size_t start = pos;
    char32_t cp = NextCodePoint(text, pos);
    if (cp == 0xFFFD) {
      out.append(text.substr(start, pos - start));  // keep malformed bytes as they are
    } else {
      AppendUtf8(out, map(cp));
    }
  }
  return out;
}

}  // namespace

std::string FoldCase(std::string_view text) { return MapCase(text, LowerOf); }
std::string UpperCase(std::string_view text) { return MapCase(text, UpperOf); }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    // Case pairs have equal UTF-8 lengths in the letters we fold, so texts of
    // different byte lengths can never be equal ignoring case.
    return false;
  }
  return a == b || FoldCase(a) == FoldCase(b);
}

}  // namespace drs
