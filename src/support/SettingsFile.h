// The application settings file (drsprep.INI), shared by drsprep and
// drsprep-batch: its sections, the main window's stored keys, and what the
// main window reads from it when it is shown.
#pragma once

#include <string>
#include <vector>

namespace drs {

// Section and key: the format parameters file in use.
inline constexpr const char* kParamsFileNameSection = "ParamsFileName";
inline constexpr const char* kParamsFileNameKey = "ParamsFileName";
// List section: the substitution and lot list, one line per item.
inline constexpr const char* kReplaceListSection = "ReplaceList";
// The main window's stored properties.
inline constexpr const char* kMainWindowSection = "TMMVBForm";

// A stored property of a window: its control and property, kept under the
// key "<control>.<property>".
struct StoredProperty {
  const char* control;
  const char* property;
  std::string Key() const { return std::string(control) + "." + property; }
};

namespace mainwindow {
inline constexpr StoredProperty kInFile{"InFilenameEdit", "Text"};
inline constexpr StoredProperty kOutFile{"OutFilenameEdit", "Text"};
inline constexpr StoredProperty kBrokerAcc{"BrokerAccEdit", "Text"};
inline constexpr StoredProperty kMaxClient{"MaxClientEdit", "Text"};
inline constexpr StoredProperty kMinClient{"MinClientEdit", "Text"};
inline constexpr StoredProperty kOborotMode{"OborotModeRadioGroup", "ItemIndex"};
inline constexpr StoredProperty kWriteMode{"WriteModeRadioGroup", "ItemIndex"};
inline constexpr StoredProperty kSqueezeOrders{"SqueeseClaineCheckBox", "Checked"};
inline constexpr StoredProperty kTradeDate{"TorgDateEdit", "Text"};
inline constexpr StoredProperty kSqueezeClients{"SqueeseClientCheckBox", "Checked"};
}  // namespace mainwindow

// A stored value of the main window; empty when absent.
std::string ReadMainWindowValue(const StoredProperty& property);
// A stored Checked value as the window reads it (support/StoredValue); off
// when absent or unreadable, as the window's check boxes start.
bool ReadMainWindowFlag(const StoredProperty& property);
// A stored ItemIndex value; -1 when absent or not a whole number.
int ReadMainWindowIndex(const StoredProperty& property);

// The stored substitution list. False, with `lines` untouched, when none is
// stored; otherwise `lines` is replaced by it.
bool ReadStoredReplaceList(std::vector<std::string>& lines);
void WriteStoredReplaceList(const std::vector<std::string>& lines);

void WriteParamsFileName(const std::string& name);

// What the main window reads when it is shown, in this order: the
// substitution list (parsed with its lines numbered from 1), then the name of
// the format parameters file (blank: no format is set). A missing file reads
// as empty.
struct StartupSettings {
  std::vector<std::string> replaceLines;
  std::string paramsFileName;
};
StartupSettings ReadStartupSettings();

}  // namespace drs
