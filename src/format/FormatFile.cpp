#include "format/FormatFile.h"

#include <cfenv>
#include <climits>
#include <cmath>

#include "platform/Paths.h"
#include "profile/IniFile.h"
#include "profile/ListSection.h"
#include "support/AppPaths.h"
#include "utils/Utils.h"

namespace drs {

namespace {
const CharSet kSemicolon = MakeCharSet(";");
constexpr std::string_view kIntValues = "IntValues";
constexpr std::string_view kExtFormat = "ExtFormat";
}  // namespace

FormatRow SplitFormatRow(std::string_view item) {
  FormatRow row;
  for (int i = 0; i < kFormatColumns; ++i)
    row[static_cast<size_t>(i)] = ExtractField(item, kSemicolon, i + 1);
  return row;
}

std::string JoinFormatRow(const FormatRow& row) {
  std::string item;
  for (const std::string& cell : row) item += cell + ";";
  return item + ";";
}

std::string FormatFilePath(const std::string& fileName) {
  if (platform::HasFolder(fileName)) return fileName;
  return SettingsFolder() + "/" + fileName;
}

FormatParams ReadFormatParams(const std::string& fileName, int formatDefault) {
  IniFile ini(FormatFilePath(fileName));
  FormatParams p;
  p.fieldSep = ini.ReadInteger(kIntValues, "FieldSep", 0);
  p.decSep = ini.ReadInteger(kIntValues, "DecSep", 0);
  p.format = ini.ReadInteger(kIntValues, "Format", formatDefault);
  p.lot = ini.ReadInteger(kIntValues, "Lot", 100);
  ReadListSection(ini, kExtFormat, p.items, ListReadMode::Append);
  return p;
}

void WriteFormatParams(const std::string& fileName, const FormatParams& params) {
  IniFile ini(FormatFilePath(fileName));
  ini.Edit([&](IniDocument& doc) {
    // A new file gets IntValues first; an existing one keeps its section order.
    doc.Write(kIntValues, "FieldSep", std::to_string(params.fieldSep));
    doc.Write(kIntValues, "DecSep", std::to_string(params.decSep));
    doc.Write(kIntValues, "Format", std::to_string(params.format));
    doc.Write(kIntValues, "Lot", std::to_string(params.lot));
    WriteListSection(doc, kExtFormat, params.items);
  });
}

int RoundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(std::nearbyint(value));  // the default rounding mode is half to even
}

}  // namespace drs
