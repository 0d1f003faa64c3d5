// Plain decimal texts read without the general conversion: the common case
// of a report's prices and quantities.
#pragma once

#include <string_view>

namespace drs {

// `text` (no blanks) as an optional sign, digits with at most one `sep`, no
// exponent, with at most 19 significant digits forming at most 2^53 and at
// most 22 digits after `sep`: then the integer and the power of ten are both
// exact doubles, and their quotient is the correctly rounded value, the same
// as std::from_chars gives. False for every other text, `value` untouched.
bool ReadPlainDecimal(std::string_view text, char sep, double& value);

}  // namespace drs
