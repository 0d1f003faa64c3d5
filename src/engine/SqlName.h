// Names as they stand in a statement.
#pragma once

#include <string>
#include <string_view>

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

}  // namespace drs
