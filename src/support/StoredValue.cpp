#include "support/StoredValue.h"

#include "utils/NumberText.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

std::optional<bool> DecodeStoredFlag(std::string_view text) {
  if (const std::optional<int> number = DecodeStoredInt(text)) return *number != 0;
  if (SameText(text, "True")) return true;
  if (SameText(text, "False")) return false;
  return std::nullopt;
}

std::string EncodeStoredFlag(bool on) { return on ? "1" : "0"; }

std::optional<int> DecodeStoredInt(std::string_view text) {
  int value = 0;
  if (!TryStrToInt(text, value)) return std::nullopt;
  return value;
}

std::string EncodeStoredInt(int value) { return std::to_string(value); }

}  // namespace drs
