#include "platform/Process.h"

#include <windows.h>
// shellapi.h needs windows.h before it.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/Win32.h"

namespace drs::platform {

std::string ProgramFile() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  return win32::ProgramPath(path);
}

std::string CurrentFolder() {
  wchar_t buf[4096];
  const DWORD n = GetCurrentDirectoryW(4096, buf);
  if (n == 0 || n >= 4096) return {};
  return win32::ProgramPath(std::wstring(buf, n));
}

std::optional<std::string> Environment(const char* name) {
  const wchar_t* value = _wgetenv(win32::Wide(name).c_str());
  if (!value) return std::nullopt;
  return win32::Narrow(value, wcslen(value));
}

std::optional<std::string> HomeFolder() {
  if (auto home = Environment("HOME")) return home;
  auto profile = Environment("USERPROFILE");
  if (profile)
    for (char& c : *profile)
      if (c == '\\') c = '/';
  return profile;
}

std::vector<std::string> Arguments(int argc, char** argv) {
  // The narrow arguments went through the ANSI code page: read them again.
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < n; ++i) args.push_back(win32::Narrow(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return args;
}

namespace {
UINT consoleCodePage = 0;
void RestoreConsole() {
  if (consoleCodePage) SetConsoleOutputCP(consoleCodePage);
}
}  // namespace

void PrepareConsole() {
  // The bytes as written: no CR before LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A console shows them as UTF-8 while the program runs.
  if (IsTerminal(1) || IsTerminal(2)) {
    consoleCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(RestoreConsole);
  }
}

bool IsTerminal(int stream) {
  const DWORD which = stream == 0 ? STD_INPUT_HANDLE : stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

void LocalTime(std::time_t time, std::tm& out) { localtime_s(&out, &time); }

char UserDecimalSeparator() {
  wchar_t sep[8];
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
  return n == 2 && sep[0] > 0 && sep[0] < 128 ? static_cast<char>(sep[0]) : '.';
}

namespace {
void (*before[2])(int);
constexpr int kSignals[2] = {SIGINT, SIGTERM};
}  // namespace

void HoldInterrupts(void (*note)(int)) {
  for (int i = 0; i < 2; ++i) {
    before[i] = std::signal(kSignals[i], note);
    // A signal ignored on entry stays ignored.
    if (before[i] == SIG_IGN) std::signal(kSignals[i], SIG_IGN);
  }
}

void RestoreInterrupts() {
  for (int i = 0; i < 2; ++i) std::signal(kSignals[i], before[i] == SIG_ERR ? SIG_DFL : before[i]);
}

void RaiseInterrupt(int signal) { std::raise(signal); }

}  // namespace drs::platform
