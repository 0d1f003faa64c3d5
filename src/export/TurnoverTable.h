// A turnover table written whole in one transaction: made anew with its
// rows beside the old one and put in its place in one step, so a failure,
// a refused row or a kill leaves the table that was there.
#pragma once

#include <string>
#include <vector>

#include "export/TurnoverPairing.h"

namespace drs {

// The empty turnover table's bytes ("ShOb.DBF" layout, or "CLOb.DBF" when
// by account).
std::string TurnoverTableBytes(bool byAccount);

// Writes the turnover table at `path` with `rows`, each record as the insert
// statement of its mode would write it. The table there is replaced under
// its lock (a read-only one is refused, a locked one waited for), a missing
// one created. Throws EDBEngineError when the table cannot be written or a
// row does not fit its field; the file is then as it was.
void WriteTurnoverTable(const std::string& path, bool byAccount, const std::vector<TurnoverRow>& rows);

}  // namespace drs
