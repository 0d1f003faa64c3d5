// Case-insensitive comparison of texts: Latin and Cyrillic letters (ё/Ё and
// the other letters of 1251 included) compare equal in either case.
#pragma once

#include <string>
#include <string_view>

namespace drs {

// Lower-case form of the text; two texts are equal ignoring case exactly when
// their folded forms are equal.
std::string FoldCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
// Upper-case form (used for dBASE field names).
std::string UpperCase(std::string_view text);

}  // namespace drs
