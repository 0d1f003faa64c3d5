// Any text as a price or quantity, under both format separators and both
// locale separators. A success is always a finite single-precision value,
// and a text of digits alone always converts, to its own value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "deals/ActiveFormat.h"

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
  return 0;
}
