// Where the program keeps its files on Linux, by the XDG base-directory rules.
#pragma once

#include <string>

namespace drs {

// The base folder named by the environment variable when it holds an
// absolute path (a relative one is ignored, as the XDG rules say), else HOME
// followed by `homeDefault` (".config"); empty when neither is an absolute
// path.
std::string XdgBaseFolder(const char* variable, const char* homeDefault);

// $XDG_CONFIG_HOME/drsprep (default ~/.config/drsprep), created when
// missing; the same folder for drsprep and drsprep-batch. Without a base
// folder an EInOutError says so: nothing is put into the working folder.
std::string SettingsFolder();
// drsprep.INI in the settings folder.
std::string SettingsFilePath();

// $XDG_STATE_HOME/drsprep (default ~/.local/state/drsprep), created when
// missing, never beside the program. Without a base folder an EInOutError.
std::string StateFolder();
// The journal file: in the state folder, named after the executable with the
// extension replaced by "jrn".
std::string JournalFilePath();
// The executable's name with the text after its last "." (at most 10
// characters) replaced by "jrn".
std::string JournalFileName(const std::string& exeName);

}  // namespace drs
