// Which file a table name or a named path stands for.
#pragma once

#include <string>

namespace drs {

// The absolute folder a database name stands for: "" is the current working
// folder, a relative folder is taken from it; '\' counts as '/'.
std::string ResolveFolder(const std::string& database);
// The file of table `name` in the (resolved) folder: <name>.DBF. Throws
// EDBEngineError when there is none.
std::string ResolveTableFile(const std::string& folder, const std::string& name);
// The file at `path` (relative: from the working folder): the file of
// exactly that name when there is one, else the one file of the folder
// whose name differs only in letter case; with several, none is taken.
std::string ResolveNamedFile(const std::string& path);
// The same, but "" when there is no such file (the folder included), and the
// path made absolute. Throws EDBEngineError only when several files differ
// from the name only in letter case.
std::string FindNamedFile(const std::string& path);

}  // namespace drs
