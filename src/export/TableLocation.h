// Where a table lives, from a file path: the folder is the engine's
// database, the table name is the file name up to its last ".".
#pragma once

#include <string>

namespace drs {

struct TableLocation {
  std::string path;    // the path without its enclosing double quotes
  std::string folder;  // "" = the current working folder
  std::string table;   // "" when the file name has no "."
};

// A path that begins with a double quote loses it and its last character
// (of the rest at most 256 characters are kept first). '/' and '\' both
// separate folders.
TableLocation LocateTable(const std::string& path);

}  // namespace drs
