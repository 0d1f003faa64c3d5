#include "export/TableLocation.h"

#include "platform/Paths.h"
#include "utils/Utils.h"

namespace drs {

TableLocation LocateTable(const std::string& path) {
  TableLocation loc;
  loc.path = path;
  if (!path.empty() && path[0] == '"') {
    std::string rest = path.substr(1);
    // The last character, not the last byte: a Cyrillic letter is two bytes.
    size_t chars = CharCount(rest);
    loc.path = chars > 0 ? rest.substr(0, ByteOffsetOfChar(rest, chars - 1)) : std::string();
  }
  size_t sep = loc.path.find_last_of("/\\");
  std::string file = loc.path;
  if (sep != std::string::npos) {
    loc.folder = loc.path.substr(0, sep);
    // The root folder itself: "/OUT.DBF" lies in "/" (and "C:\OUT.DBF" in
    // "C:\"), not in the working folder.
    if (loc.folder.empty() || sep < platform::RootLength(loc.path)) loc.folder = loc.path.substr(0, sep + 1);
    file = loc.path.substr(sep + 1);
  }
  size_t dot = file.rfind('.');
  loc.table = file.substr(0, dot);
  loc.file = loc.path;
  if (dot == std::string::npos && !file.empty()) loc.file += ".DBF";
  return loc;
}

}  // namespace drs
