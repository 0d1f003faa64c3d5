#include "utils/Locale.h"

#include <langinfo.h>
#include <locale.h>
#include <clocale>

namespace drs {

namespace {
char ReadDecimalSeparator() {
  // A locale object of its own, so the process's global locale stays as it is.
  locale_t loc = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return '.';
  const char* radix = ::nl_langinfo_l(RADIXCHAR, loc);
  char sep = radix && radix[0] && !radix[1] ? radix[0] : '.';
  ::freelocale(loc);
  return sep;
}
}  // namespace

char SystemDecimalSeparator() {
  static const char sep = ReadDecimalSeparator();
  return sep;
}

}  // namespace drs
