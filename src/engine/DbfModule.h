// The SQLite virtual-table module "dbf": one virtual table per dBASE file,
// created as  CREATE VIRTUAL TABLE main."name" USING dbf('path') on a private
// in-memory connection.
#pragma once

struct sqlite3;

namespace drs {

void RegisterDbfModule(sqlite3* db);

}  // namespace drs
