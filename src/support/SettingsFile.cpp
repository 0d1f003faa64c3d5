#include "support/SettingsFile.h"

#include "profile/IniFile.h"
#include "profile/ListSection.h"
#include "support/AppPaths.h"
#include "utils/Utils.h"

namespace drs {

std::string ReadMainWindowValue(const StoredProperty& property) {
  return IniFile(SettingsFilePath()).ReadString(kMainWindowSection, property.Key(), "");
}

bool ReadMainWindowFlag(const StoredProperty& property) {
  const std::string value = ReadMainWindowValue(property);
  int number = 0;
  if (TryStrToInt(value, number)) return number != 0;
  return value == "True" || value == "true";
}

int ReadMainWindowIndex(const StoredProperty& property) {
  int number = -1;
  return TryStrToInt(ReadMainWindowValue(property), number) ? number : -1;
}

bool ReadStoredReplaceList(std::vector<std::string>& lines) {
  return ReadListSection(IniFile(SettingsFilePath()), kReplaceListSection, lines, ListReadMode::Replace);
}

void WriteStoredReplaceList(const std::vector<std::string>& lines) {
  IniFile ini(SettingsFilePath());
  WriteListSection(ini, kReplaceListSection, lines);
}

std::string ReadParamsFileName() {
  return IniFile(SettingsFilePath()).ReadString(kParamsFileNameSection, kParamsFileNameKey, "");
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
