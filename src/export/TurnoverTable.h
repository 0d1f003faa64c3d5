// The rows of a turnover table written into the table just created for
// them: one append through the table's own crash-safe writes, under its
// exclusive lock, instead of one insert statement per row.
#pragma once

#include <string>
#include <vector>

#include "export/TurnoverPairing.h"

namespace drs {

// Appends `rows` to the turnover table at `path` ("ShOb.DBF" layout, or
// "CLOb.DBF" when by account), each record as the insert statement of its
// mode would write it. Records reach the file before the count that takes
// them in, in bounded memory. A row the table refuses (a value that does not
// fit its field) ends the rows: those before it stay written and its
// EDBEngineError reaches the caller. A failing write throws EDBEngineError
// after counting the records written whole before it.
void AppendTurnoverRows(const std::string& path, bool byAccount, const std::vector<TurnoverRow>& rows);

}  // namespace drs
