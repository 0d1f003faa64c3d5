#include "utils/NumberText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace drs {

namespace {

// [+-]digits, at most 18 of them.
bool QuickInteger(std::string_view t, int64_t& v) {
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  if (i == t.size() || t.size() - i > 18) return false;
  int64_t m = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    m = m * 10 + (t[i] - '0');
  }
  v = negative ? -m : m;
  return true;
}

// The general reading of what the quick one leaves.
bool GeneralReal(std::string_view text, double& v) {
  char small[256];
  std::string large;
  char* buf = small;
  if (text.size() > sizeof small) {
    large.resize(text.size());
    buf = large.data();
  }
  for (size_t i = 0; i < text.size(); ++i) buf[i] = text[i] == ',' ? '.' : text[i];
  const char* b = buf;
  const char* e = buf + text.size();
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e && std::isfinite(v);
}

}  // namespace

bool ReadDecimalNumber(std::string_view text, double& value) {
  return ReadPlainDecimal(text, '.', value) || GeneralReal(text, value);
}

bool ReadWholeNumber(std::string_view text, int64_t& value) {
  if (QuickInteger(text, value)) return true;
  if (text.empty()) return false;
  const char* b = text.data();
  const char* e = b + text.size();
  if (*b == '+') ++b;
  auto r = std::from_chars(b, e, value);
  return r.ec == std::errc() && r.ptr == e;
}

double ReadNumberPrefix(std::string_view text) {
  std::string t(text);
  for (char& c : t)
    if (c == ',') c = '.';
  size_t b = t.find_first_not_of(' ');
  if (b == std::string::npos) return 0;
  double v = 0;
  const char* p = t.data() + b;
  if (*p == '+') ++p;
  std::from_chars(p, t.data() + t.size(), v);
  return v;
}

NumberRead ReadNumber(std::string_view text, char sep, double& value) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  if (ReadPlainDecimal(text.substr(b, e - b), sep, value)) return NumberRead::Ok;
  // The digits as from_chars reads them; never longer than the text.
  char local[64];
  std::string heap;
  char* plain = local;
  if (e - b > sizeof local) {
    heap.resize(e - b);
    plain = heap.data();
  }
  size_t n = 0;
  size_t i = b;
  if (i < e && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain[n++] = '-';
    ++i;
  }
  bool digits = false;
  bool point = false;
  for (; i < e; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      plain[n++] = c;
    } else if (c == sep && !point) {
      point = true;
      plain[n++] = '.';
    } else {
      break;
    }
  }
  if (!digits) return NumberRead::NotANumber;
  if (i < e && (text[i] == 'e' || text[i] == 'E')) {
    plain[n++] = 'e';
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) plain[n++] = text[i++];
    bool expDigits = false;
    for (; i < e && text[i] >= '0' && text[i] <= '9'; ++i) {
      expDigits = true;
      plain[n++] = text[i];
    }
    if (!expDigits) return NumberRead::NotANumber;
  }
  if (i != e) return NumberRead::NotANumber;
  double d = 0;
  auto [ptr, ec] = std::from_chars(plain, plain + n, d);
  if (ec == std::errc::result_out_of_range) return NumberRead::OutOfRange;
  if (ec != std::errc() || ptr != plain + n) return NumberRead::NotANumber;
  value = d;
  return NumberRead::Ok;
}

bool ReadFixedUnits(std::string_view text, int unitDecimals, FixedUnits limit, FixedUnits& units) {
  // A number field's value stands right-aligned behind blanks: skipped a
  // word at a time, the word holding the first other byte by its position.
  constexpr uint64_t kBlanks = 0x2020202020202020ULL;
  while (text.size() >= 8) {
    uint64_t word;
    std::memcpy(&word, text.data(), 8);
    if (word != kBlanks) {
      if constexpr (std::endian::native == std::endian::little)
        text.remove_prefix(size_t(std::countr_zero(word ^ kBlanks) / 8));
      break;
    }
    text.remove_prefix(8);
  }
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\0'))
    text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Most texts are digits, a point and at most `unitDecimals` decimals, 19
  // digits in all once scaled: read in 64 bits, no wider product. Anything
  // else is read, or refused, below.
  if (text.size() <= 19) {
    auto digit = [](char c) { return unsigned(c - '0') < 10; };
    const char* p = text.data();
    const char* const end = p + text.size();
    uint64_t quick = 0;
    for (; p < end && digit(*p); ++p) quick = quick * 10 + uint64_t(*p - '0');
    const ptrdiff_t whole = p - text.data();
    ptrdiff_t places = 0;
    if (p < end && (*p == '.' || *p == ',')) {
      const char* const first = ++p;
      for (; p < end && digit(*p); ++p) quick = quick * 10 + uint64_t(*p - '0');
      places = p - first;
    }
    if (p == end && whole + places > 0 && places <= unitDecimals && whole + unitDecimals <= 19) {
      quick *= uint64_t(plain_decimal::kPow10[unitDecimals - places]);  // exact up to 10^22
      units = negative ? -FixedUnits(quick) : FixedUnits(quick);
      return true;
    }
  }
  FixedUnits value = 0;
  int decimals = -1;  // none yet: no point seen
  bool digits = false;
  for (char c : text) {
    if (c == '.' || c == ',') {
      if (decimals >= 0) return false;
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9') return false;
    digits = true;
    if (decimals >= unitDecimals) {
      if (c != '0') return false;
      continue;
    }
    if (decimals >= 0) ++decimals;
    if (value < limit) value = value * 10 + (c - '0');
  }
  if (!digits) return false;
  for (int d = std::max(decimals, 0); d < unitDecimals; ++d)
    if (value < limit) value *= 10;
  units = std::clamp(negative ? -value : value, -limit, limit);
  return true;
}

bool TryStrToInt(std::string_view text, int& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  long long acc = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    acc = acc * base + digit;
    // Hex literals may spell the full 32-bit pattern ($FFFFFFFF is -1).
    if (acc > (base == 16 ? 0xFFFFFFFFLL : 2147483648LL)) return false;
  }
  if (base == 16 && acc > INT_MAX) {
    acc -= 0x100000000LL;
  }
  if (negative) acc = -acc;
  if (acc > INT_MAX || acc < INT_MIN) return false;
  value = static_cast<int>(acc);
  return true;
}

}  // namespace drs
