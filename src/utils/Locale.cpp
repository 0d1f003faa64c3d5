#include "utils/Locale.h"

#include "platform/Process.h"

namespace drs {

char SystemDecimalSeparator() {
  static const char sep = platform::UserDecimalSeparator();
  return sep;
}

}  // namespace drs
