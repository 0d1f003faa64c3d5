// DOS Cyrillic (866), the text of dBASE tables whose language byte says so.
#pragma once

#include <string>
#include <string_view>

namespace drs {

std::string Cp866ToUtf8(std::string_view bytes);
// Characters that 866 cannot hold become "?".
std::string Utf8ToCp866(std::string_view text);
// True when every character of the text has an 866 byte.
bool FitsCp866(std::string_view text);

}  // namespace drs
