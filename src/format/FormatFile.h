// The format parameters file: section IntValues (separators, kind, default
// lot) and the list section ExtFormat, one format row per item.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace drs {

// The seven texts of one field of the deal report.
enum FormatColumn {
  kFieldCaption = 0,  // "Имя поля"
  kFileFieldNo = 1,   // "Номер в файле"
  kShowFlag = 2,      // "Показать"
  kGridPos = 3,       // "Номер  в сетке"
  kGridWidth = 4,     // "Ширина в сетке"
  kRoleName = 5,      // "Для выходного поля"
  kRoleCode = 6,      // "Код вых. поля"
};
constexpr int kFormatColumns = 7;
using FormatRow = std::array<std::string, kFormatColumns>;

// Fields 1..7 of an item split at ";"; missing fields are empty.
FormatRow SplitFormatRow(std::string_view item);
// Each text followed by ";", then the always-empty eighth field: "...;;".
std::string JoinFormatRow(const FormatRow& row);

struct FormatParams {
  int fieldSep = 0;
  int decSep = 0;
  int format = 0;
  int lot = 100;
  std::vector<std::string> items;  // ExtFormat items as stored
};

// A format file named without a folder lies in the settings folder, as a
// profile file named without a folder does.
std::string FormatFilePath(const std::string& fileName);

// A missing file reads as empty: every key takes its default, no items.
// `formatDefault` is what a missing Format key gives.
FormatParams ReadFormatParams(const std::string& fileName, int formatDefault = 0);
// Writes ExtFormat and IntValues in one atomic rewrite; raises EIniWriteError.
void WriteFormatParams(const std::string& fileName, const FormatParams& params);

// Nearest whole number, a half to the even neighbour (2.5 -> 2, 3.5 -> 4).
int RoundHalfEven(double value);

}  // namespace drs
