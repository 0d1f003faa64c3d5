// Any bytes as stored lines of the substitution and lot list. Parsing never
// stops the program; the lists stay parallel and every stored lot size is a
// whole number that LotFor can use.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "deals/ReplaceList.h"
#include "utils/Cp1251.h"
#include "utils/NumberText.h"
#include "utils/Utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Messages();
  std::string text = drs::Cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  drs::ReplaceLists lists;
  int lineNo = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lists.ParseLine(std::string_view(text).substr(pos, end - pos), ++lineNo);
    pos = end + 1;
  }
  if (lists.ReplaceFrom().size() != lists.ReplaceTo().size()) __builtin_trap();
  if (lists.LotCodes().size() != lists.LotSizes().size()) __builtin_trap();
  for (size_t i = 0; i < lists.LotCodes().size(); ++i) {
    int lot = 0;
    if (!drs::TryStrToInt(lists.LotSizes()[i], lot)) __builtin_trap();
    // The first definition of a code wins.
    if (lists.LotFor(lists.LotCodes()[i], -12345) == -12345 && !lists.LotCodes()[i].empty()) __builtin_trap();
  }
  for (const std::string& code : lists.ReplaceFrom()) {
    if (!code.empty() && !lists.FindReplacement(code)) __builtin_trap();
  }
  return 0;
}
