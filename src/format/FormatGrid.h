// The format editor's grid: one format row per data row, the titles in row 0.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "format/FormatFile.h"
#include "format/StringGrid.h"

namespace drs {

struct FormatGridColumn {
  const char* title;
  int width;  // pixels
};
extern const std::array<FormatGridColumn, kFormatColumns> kFormatGridColumns;

// The choices of the role menu after its heading "ЭТО:": the caption put
// into the role column and the role code; the first entry clears both.
struct RoleChoice {
  const char* menuText;
  const char* roleName;
  const char* roleCode;
};
extern const std::array<RoleChoice, 8> kRoleChoices;

// Writes the column titles into row 0.
void SetFormatTitles(StringGrid& grid);
// One data row per item (fields 1..7 split at ";"); no items leave one
// blank data row.
void FillFormatGrid(StringGrid& grid, const std::vector<std::string>& items);
// One item per data row, top to bottom, each cell followed by ";" and the
// empty eighth field.
std::vector<std::string> FormatGridItems(const StringGrid& grid);
// Empties every cell of the data row.
void ClearFormatRow(StringGrid& grid, int row);

// The journal lines for a list of format errors: heading, rule, the errors, rule.
std::vector<std::string> FormatErrorJournal(const std::vector<std::string>& errors);

}  // namespace drs
