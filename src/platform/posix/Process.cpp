#include "platform/Process.h"

#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

namespace drs::platform {

std::string ProgramFile() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::string CurrentFolder() {
  char buf[4096];  // asked for on every statement: no zero-filled string
  return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> HomeFolder() { return Environment("HOME"); }

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

bool IsTerminal(int stream) { return ::isatty(stream) != 0; }

int ProcessId() { return static_cast<int>(::getpid()); }

void LocalTime(std::time_t time, std::tm& out) { ::localtime_r(&time, &out); }

char UserDecimalSeparator() {
  // A locale object of its own, so the process's global locale stays as it is.
  locale_t loc = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return '.';
  const char* radix = ::nl_langinfo_l(RADIXCHAR, loc);
  char sep = radix && radix[0] && !radix[1] ? radix[0] : '.';
  ::freelocale(loc);
  return sep;
}

namespace {
struct sigaction before[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};
}  // namespace

void HoldInterrupts(void (*note)(int)) {
  struct sigaction held {};
  held.sa_handler = note;
  sigemptyset(&held.sa_mask);
  for (int i = 0; i < 2; ++i) {
    ::sigaction(kSignals[i], &held, &before[i]);
    // A signal ignored on entry (a background job's SIGINT) stays ignored.
    if (before[i].sa_handler == SIG_IGN) ::sigaction(kSignals[i], &before[i], nullptr);
  }
}

void RestoreInterrupts() {
  for (int i = 0; i < 2; ++i) ::sigaction(kSignals[i], &before[i], nullptr);
}

void RaiseInterrupt(int signal) { ::raise(signal); }

}  // namespace drs::platform
