// Any text as a price or quantity, under both format separators and both
// locale separators. A success is always a finite single-precision value,
// and a text of digits alone always converts, to its own value. A text read
// as a plain decimal gives the bits the general conversion gives.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "deals/ActiveFormat.h"
#include "utils/NumberText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  bool digitsOnly = !text.empty() && text.size() < 30;
  for (char c : text) digitsOnly = digitsOnly && c >= '0' && c <= '9';
  for (char dec : {',', '.', '\0'}) {
    for (char locale : {',', '.'}) {
      drs::ParsedNumber n = drs::ParseNumber(text, dec, locale);
      if (n.ok && !std::isfinite(n.value)) __builtin_trap();
      if (digitsOnly) {
        if (!n.ok) __builtin_trap();
        if (n.value != static_cast<float>(std::strtod(text.c_str(), nullptr))) __builtin_trap();
      }
    }
  }
  double plain = 0;
  if (drs::ReadPlainDecimal(text, '.', plain)) {
    const char* begin = text.data() + (text[0] == '+');  // from_chars takes no "+"
    const char* end = text.data() + text.size();
    double reference = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, reference);
    if (ec != std::errc() || ptr != end || std::memcmp(&plain, &reference, sizeof plain) != 0)
      __builtin_trap();
  }
  return 0;
}
