// The sums of QTY of the output deal table per security and operation type
// (per account first in the mode by account), fed into a TurnoverPairing in
// the order of the grouped statement: accounts as first met, then ticker,
// then operation type.
#pragma once

#include <string>

namespace drs {

class TurnoverPairing;

// One pass over the table's records, in bounded memory. False, with nothing
// fed, when the table is one whose values the pass cannot group exactly as
// the statements do (a column missing or of another type, a name twice,
// equal values written differently, an integer sum beyond 64 bits, a file
// that cannot be opened): SumTurnoversByQuery then serves it and reports
// what is wrong. A file cut short during the pass throws EDBEngineError.
bool SumTurnoversByScan(const std::string& file, bool byAccount, TurnoverPairing& pairing);

// The same through grouped statements over the engine (`folder`, `table`:
// where the engine finds `file`). Throws EDBEngineError.
void SumTurnoversByQuery(const std::string& folder, const std::string& table, const std::string& file,
                         bool byAccount, TurnoverPairing& pairing);

}  // namespace drs
