// Any bytes as a profile file: parsing, reading values and lists, and a
// rewrite that must parse back to the same values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "profile/IniFile.h"
#include "profile/ListSection.h"
#include "utils/Cp1251.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  drs::IniDocument doc = drs::IniDocument::Parse(drs::Cp1251ToUtf8(bytes));
  for (const std::string& section : doc.SectionNames()) {
    for (auto& [key, value] : doc.Values(section)) {
      std::string read;
      if (!doc.Read(section, key, read)) __builtin_trap();
    }
  }
  drs::IniDocument again = drs::IniDocument::Parse(doc.Serialize());
  if (again.SectionNames().size() > doc.SectionNames().size()) __builtin_trap();
  drs::WriteListSection(doc, "ReplaceList", {"$A=1;", "", "x"});
  return 0;
}
