#include "support/SettingsFile.h"

#include "profile/IniFile.h"
#include "profile/ListSection.h"
#include "support/AppPaths.h"
#include "support/StoredValue.h"

namespace drs {

std::string ReadMainWindowValue(const StoredProperty& property) {
  return IniFile(SettingsFilePath()).ReadString(kMainWindowSection, property.Key(), "");
}

bool ReadMainWindowFlag(const StoredProperty& property) {
  return DecodeStoredFlag(ReadMainWindowValue(property)).value_or(false);
}

int ReadMainWindowIndex(const StoredProperty& property) {
  return DecodeStoredInt(ReadMainWindowValue(property)).value_or(-1);
}

bool ReadStoredReplaceList(std::vector<std::string>& lines) {
  return ReadListSection(IniFile(SettingsFilePath()), kReplaceListSection, lines, ListReadMode::Replace);
}

void WriteStoredReplaceList(const std::vector<std::string>& lines) {
  IniFile ini(SettingsFilePath());
  WriteListSection(ini, kReplaceListSection, lines);
}

void WriteParamsFileName(const std::string& name) {
  IniFile ini(SettingsFilePath());
  ini.WriteString(kParamsFileNameSection, kParamsFileNameKey, name);
}

StartupSettings ReadStartupSettings() {
  const IniFile ini(SettingsFilePath());
  StartupSettings settings;
  ReadListSection(ini, kReplaceListSection, settings.replaceLines, ListReadMode::Replace);
  settings.paramsFileName = ini.ReadString(kParamsFileNameSection, kParamsFileNameKey, "");
  return settings;
}

}  // namespace drs
