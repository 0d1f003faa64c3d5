// The format editor's check of a format before it is written.
#pragma once

#include <string>
#include <vector>

#include "format/StringGrid.h"

namespace drs {

// Checks the format grid (row 0 the titles, the data rows below it, columns
// as FormatColumn) for the format kind index `formatKind` (the selection of
// the kind list; -1 for a typed text). Appends the error lines to `errors`
// and returns true when it added none. A message names a data row as its
// grid row + 1 (the title row counts as row 1).
//
// Every data row is checked, and every grid position from 1 to the number
// of shown fields must be present, so that a format that passes can be
// loaded as the active format.
bool ValidateFormat(const StringGrid& grid, int formatKind, std::vector<std::string>& errors);

}  // namespace drs
