// The one reading of numbers from text. Each reader of the program takes
// the function whose texts are its own; all of them read a plain decimal
// the quick exact way (ReadPlainDecimal) and anything else by
// std::from_chars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace drs {

namespace plain_decimal {

inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr size_t kMaxDecimals = sizeof kPow10 / sizeof kPow10[0] - 1;
inline constexpr uint64_t kExact = uint64_t(1) << 53;

}  // namespace plain_decimal

// `text` (no blanks) as an optional sign, digits with at most one `sep`, no
// exponent, with at most 19 significant digits forming at most 2^53 and at
// most 22 digits after `sep`: then the integer and the power of ten are both
// exact doubles, and their quotient is the correctly rounded value, the same
// as std::from_chars gives. False for every other text, `value` untouched.
inline bool ReadPlainDecimal(std::string_view text, char sep, double& value) {
  using namespace plain_decimal;
  const char* at = text.data();
  const char* const stop = at + text.size();
  bool negative = false;
  if (at < stop && (*at == '+' || *at == '-')) negative = *at++ == '-';
  uint64_t mantissa = 0;
  int significant = 0;  // digits from the first non-zero one
  bool digits = false;
  const char* point = nullptr;
  for (; at < stop; ++at) {
    const char c = *at;
    if (c >= '0' && c <= '9') {
      digits = true;
      if (significant > 0 || c != '0') {
        if (++significant > 19) return false;
        mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
      }
    } else if (c == sep && point == nullptr) {
      point = at;
    } else {
      return false;
    }
  }
  if (!digits || mantissa > kExact) return false;
  const size_t decimals = point == nullptr ? 0 : static_cast<size_t>(stop - point - 1);
  if (decimals > kMaxDecimals) return false;
  const double magnitude = static_cast<double>(mantissa) / kPow10[decimals];
  value = negative ? -magnitude : magnitude;
  return true;
}

// A dBASE numeric field's or a statement's text: "," or "." as the point,
// one leading "+" ignored, the whole text a finite number (an exponent,
// too).
bool ReadDecimalNumber(std::string_view text, double& value);

// A whole number of a numeric field without decimals: an optional sign
// ("+" may come before another sign) and digits that fit 64 bits.
bool ReadWholeNumber(std::string_view text, int64_t& value);

// As much of `text` as is a number, after blanks: "," taken as the point,
// one leading "+" ignored; 0 when it begins with no number.
double ReadNumberPrefix(std::string_view text);

enum class NumberRead { Ok, NotANumber, OutOfRange };
// A number as an operator writes it: blanks and tabs around, an optional
// sign, digits with at most one `sep`, an optional exponent. Nothing else
// (no thousands separators). OutOfRange beyond a double.
NumberRead ReadNumber(std::string_view text, char sep, double& value);

// A number's text read exactly in units of its `unitDecimals`th decimal:
// blanks and tabs around (NULs after), a sign, digits with "." or ","
// before the decimals. False for anything else and for digits that are not
// zero below that decimal. Beyond `limit` units the count is held at it.
__extension__ using FixedUnits = __int128;
bool ReadFixedUnits(std::string_view text, int unitDecimals, FixedUnits limit, FixedUnits& units);

// Strict whole-number conversion: optional blanks before, optional sign,
// decimal digits or $hex / 0xhex; the value must fit 32 bits. Nothing else
// ("12.0", "", "1 000") converts.
bool TryStrToInt(std::string_view text, int& value);

}  // namespace drs
