// The process and its surroundings: the program's own file, the working
// folder, environment, command line, console, signals and locale.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace drs::platform {

// The running program's file, "" when it cannot be told.
std::string ProgramFile();
// The working folder, "" when it cannot be told.
std::string CurrentFolder();
// An environment variable's value (UTF-8), none when unset.
std::optional<std::string> Environment(const char* name);
// The user's home folder as the system names it.
std::optional<std::string> HomeFolder();
// The command line's arguments in UTF-8 (on Windows read again as wide
// characters, whatever the console's code page).
std::vector<std::string> Arguments(int argc, char** argv);
// stdout and stderr take the program's bytes as they are: UTF-8 with LF.
void PrepareConsole();
// The stream (0, 1, 2) is a terminal.
bool IsTerminal(int stream);
int ProcessId();
// The local time of `time`, safe to call from any thread.
void LocalTime(std::time_t time, std::tm& out);
// The decimal separator of the user's number settings; '.' when unknown.
char UserDecimalSeparator();

// SIGINT and SIGTERM (Ctrl+C and Ctrl+Break on Windows) go to `note`
// until RestoreInterrupts; ignored ones stay ignored.
void HoldInterrupts(void (*note)(int));
void RestoreInterrupts();
// The signal raised again with what was there before HoldInterrupts.
void RaiseInterrupt(int signal);

}  // namespace drs::platform
