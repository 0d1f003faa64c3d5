// The SQLite virtual-table module "dbf": one virtual table per dBASE file,
// created as  CREATE VIRTUAL TABLE main."name" USING dbf('path') on a private
// in-memory connection.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace drs {

void RegisterDbfModule(sqlite3* db);

// Deletes every record of the connection's table `table` as "delete from"
// without a condition does (under the file's exclusive lock; the file cut
// to its header, or left alone when no record is live), without SQLite
// collecting every record number first. SQLITE_OK when done, SQLITE_ERROR
// with the message in `error`, -1 when the statement has to run its own way
// (no such table, a write of the table under way, a read-only file).
int ClearDbfTable(sqlite3* db, std::string_view table, std::string& error);

}  // namespace drs
