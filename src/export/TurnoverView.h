// The view of a turnover table just rebuilt, ordered as its statement orders
// it ("order by ticker", or "order by clientid,ticker" by account) from the
// rows the computation holds, its records read from the table as they are
// asked for, a run of neighbours at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Query.h"
#include "export/TurnoverPairing.h"

namespace drs {

// The statement's rows for the table at `path`, into which `rows` were
// appended in order (the table held no record before).
std::unique_ptr<RowSource> TurnoverViewRows(const std::string& path, bool byAccount,
                                            const std::vector<TurnoverRow>& rows);

}  // namespace drs
