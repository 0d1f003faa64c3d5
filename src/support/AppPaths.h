// Where the program keeps its files on Linux.
#pragma once

#include <string>

namespace drs {

// $XDG_CONFIG_HOME/drsprep/drsprep.INI (default ~/.config/drsprep/); the
// folder is created when missing. The same file for drsprep and drsprep-batch.
std::string SettingsFilePath();
std::string SettingsFolder();

// The journal file: next to the executable, named after it with the
// extension replaced by "jrn"; when that folder is not writable, in the
// settings folder under the same name.
std::string JournalFilePath();
// The executable's name with the text after its last "." (at most 10
// characters) replaced by "jrn".
std::string JournalFileName(const std::string& exeName);

}  // namespace drs
