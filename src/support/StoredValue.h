// The texts of a window's stored values in the settings file, read the same
// by the window and by drsprep-batch: whole numbers in decimal, a check box
// as 1 or 0. A check box kept by name (True, False, in any letter case), as
// a form storage writes a boolean property, reads as that value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace drs {

// Nothing when the text is neither a whole number nor True/False.
std::optional<bool> DecodeStoredFlag(std::string_view text);
std::string EncodeStoredFlag(bool on);
// Nothing when the text is not a whole number.
std::optional<int> DecodeStoredInt(std::string_view text);
std::string EncodeStoredInt(int value);

}  // namespace drs
