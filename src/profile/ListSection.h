// A list of strings stored in a section of its own: Count, Item0 .. Item<Count-1>.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profile/IniFile.h"

namespace drs {

enum class ListReadMode {
  Append,   // the target keeps what it held
  Replace,  // the target is cleared first, but only when Count is present
};

// Reads the list; with Count absent the target is left exactly as it was.
// Missing items are skipped. Returns false when Count is absent.
bool ReadListSection(const IniFile& ini, std::string_view section, std::vector<std::string>& target,
                     ListReadMode mode);
// Erases the section, then writes Count and the items, in one rewrite.
void WriteListSection(IniFile& ini, std::string_view section, const std::vector<std::string>& items);
// The same on a document, for callers that write several sections at once.
void WriteListSection(IniDocument& doc, std::string_view section, const std::vector<std::string>& items);

}  // namespace drs
