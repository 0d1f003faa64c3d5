#include "engine/SqliteHandle.h"

#include <sqlite3.h>

namespace drs {

void SqliteCloser::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

void StatementFinalizer::operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }

StatementReset::~StatementReset() { sqlite3_reset(st_); }

}  // namespace drs
