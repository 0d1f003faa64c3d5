// The active format: how a deal report line is laid out and how the deal
// grid shows it, built from a format parameters file.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "format/FormatFile.h"

namespace drs {

// Shown when the settings name no format parameters file.
inline constexpr char kNoFormatFileMessage[] =
    "Не задан файл настройки параметров. Откройте форму \"Настройка форматов  входных файлов и их "
    "отображения\"";

class DealGrid;

// Field role codes of column kRoleCode.
inline constexpr std::string_view kRoleClientId = "0";
inline constexpr std::string_view kRoleShareCod = "1";
inline constexpr std::string_view kRoleShareCnt = "2";
inline constexpr std::string_view kRoleCost = "3";
inline constexpr std::string_view kRoleOperCod = "4";
inline constexpr std::string_view kRoleClaimNumber = "5";
inline constexpr std::string_view kRoleDealNumber = "6";

struct ActiveFormat {
  // Separators keep their previous value when the file names none we know;
  // before the first load they are the character with code 0.
  char fieldSepChar = '\0';
  char decSepChar = '\0';
  int formatKind = 0;
  int defaultLot = 100;
  std::vector<FormatRow> entries;

  // Field numbers in a report line from 1, grid columns from 0.
  int clientIdField = 0, clientIdCol = 0;
  int operCodField = 0, operCodCol = 0;
  int shareCodField = 0, shareCodCol = 0;
  int shareCntField = 0, shareCntCol = 0;
  int costField = 0, costCol = 0;
  int numberField = 0, numberCol = 0;

  bool formatValid = false;

  // The first entry whose text in `column` equals `value` ignoring case.
  const FormatRow* FindEntry(FormatColumn column, std::string_view value) const;
};

// Rebuilds `format` from the file and prepares the grid's columns and header
// row. Each failed check is shown through ShowError and ends the load with
// formatValid false; values set before the failure stay set.
void LoadFormat(const std::string& fileName, ActiveFormat& format, DealGrid& grid);

// The three status texts shown after a good load: the file name and both
// separators as bare characters.
std::array<std::string, 3> FormatStatusTexts(const std::string& fileName, const ActiveFormat& format);

// The message of a text that is not a whole number.
std::string NotAnIntegerMessage(std::string_view text);

struct ParsedNumber {
  float value = 0;
  bool ok = false;
};
// A price or quantity text: first as the user's locale writes numbers, then
// with "," and "." swapped as the format's decimal separator says. Single
// precision; never throws.
ParsedNumber ParseNumber(std::string_view text, char decSepChar);
// The same with the locale's separator given (tests).
ParsedNumber ParseNumber(std::string_view text, char decSepChar, char localeSep);

}  // namespace drs
