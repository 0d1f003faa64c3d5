// Where a table lives, from a file path: the folder is the engine's
// database, the table name is the file name up to its last ".", and the
// file is exactly the one the path names.
#pragma once

#include <string>

namespace drs {

struct TableLocation {
  std::string path;    // the path without its enclosing double quotes
  std::string folder;  // "" = the current working folder
  std::string table;   // the file name without its extension
  std::string file;    // the path, with ".DBF" added when the name has no extension
};

// A path that begins with a double quote loses it and its last character;
// nothing else is cut. '/' and '\' both separate folders.
TableLocation LocateTable(const std::string& path);

}  // namespace drs
