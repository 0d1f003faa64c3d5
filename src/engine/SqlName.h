// Names as they stand in a statement.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace drs {

// The name in double quotes, a double quote inside it doubled: the one way a
// table or column name is put into a statement.
std::string QuoteIdentifier(const std::string& name);

// A table name as it should stand bare in a statement for %M: a plain word
// stays as it is, anything else (blanks, dots, quotes) is quoted.
std::string MacroTableName(const std::string& table);

// The table of a statement that deletes every record: "delete from" and one
// table name, bare or in double quotes, then nothing but blanks and ";" (any
// letter case). False for every other statement.
bool WholeTableDelete(std::string_view sql, std::string& table);

// The tables a statement names: after FROM (a list), JOIN, INTO and UPDATE;
// quoted names unquoted, a schema dropped. Subqueries' tables come as they
// are met; names that are no table (a common table expression) may come too.
std::vector<std::string> TableNamesIn(std::string_view sql);

}  // namespace drs
