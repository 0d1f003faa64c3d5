// What the user's locale settings say about numbers.
#pragma once

namespace drs {

// The decimal separator of LC_NUMERIC as the environment sets it (LC_ALL,
// LC_NUMERIC, LANG); read once. "." when the locale is unknown.
char SystemDecimalSeparator();

}  // namespace drs
