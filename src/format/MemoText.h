// Lines of a multi-line text box, as the substitution list editor stores them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace drs {

// The lines of the text, split at LF (a CR before it dropped); one final
// empty line after the last line break does not count, so "" has no lines
// and "a\n" has one.
std::vector<std::string> MemoLines(std::string_view text);
// The text whose MemoLines are exactly `lines`.
std::string MemoText(const std::vector<std::string>& lines);

}  // namespace drs
