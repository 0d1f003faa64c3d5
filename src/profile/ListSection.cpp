#include "profile/ListSection.h"

#include <algorithm>
#include <unordered_map>

#include "utils/NumberText.h"
#include "utils/TextCase.h"
#include "utils/Utils.h"

namespace drs {

bool ReadListSection(const IniFile& ini, std::string_view section, std::vector<std::string>& target,
                     ListReadMode mode) {
  // One pass over the section: the first value of each key counts.
  std::unordered_map<std::string, std::string> byKey;
  for (auto& [key, value] : ini.Document().Values(section))
    byKey.try_emplace(FoldCase(key), std::move(value));
  auto count_it = byKey.find("count");
  int count = -1;
  if (count_it == byKey.end() || !TryStrToInt(count_it->second, count) || count < 0) return false;
  if (mode == ListReadMode::Replace) target.clear();
  // Walk the keys that exist rather than 0..Count, so a huge Count costs nothing.
  std::vector<std::pair<int, std::string*>> items;
  for (auto& [key, value] : byKey) {
    if (key.size() < 5 || key.compare(0, 4, "item") != 0) continue;
    std::string_view digits(key.data() + 4, key.size() - 4);
    if (digits.size() > 1 && digits[0] == '0') continue;  // Item01 is not Item1
    int index = 0;
    bool ok = digits.size() <= 10;
    for (char c : digits) ok = ok && c >= '0' && c <= '9';
    if (!ok || !TryStrToInt(digits, index) || index >= count) continue;
    items.emplace_back(index, &value);
  }
  std::sort(items.begin(), items.end());
  for (auto& [index, value] : items) target.push_back(std::move(*value));
  return true;
}

void WriteListSection(IniDocument& doc, std::string_view section, const std::vector<std::string>& items) {
  doc.EraseSection(section);
  doc.Append(section, "Count", std::to_string(items.size()));
  for (size_t i = 0; i < items.size(); ++i) doc.Append(section, "Item" + std::to_string(i), items[i]);
}

void WriteListSection(IniFile& ini, std::string_view section, const std::vector<std::string>& items) {
  ini.Edit([&](IniDocument& doc) { WriteListSection(doc, section, items); });
}

}  // namespace drs
