#include "support/AppPaths.h"

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "utils/Utils.h"

namespace drs {

std::string SettingsFolder() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  std::string folder = base + "/drsprep";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder;
}

std::string SettingsFilePath() { return SettingsFolder() + "/drsprep.INI"; }

std::string JournalFileName(const std::string& exeName) {
  size_t dot = exeName.rfind('.');
  if (dot != std::string::npos && exeName.size() - dot - 1 <= 10) return exeName.substr(0, dot + 1) + "jrn";
  return exeName + ".jrn";
}

std::string JournalFilePath() {
  std::string name = JournalFileName(ExeName());
  std::string folder = ExePath();
  if (::access(folder.c_str(), W_OK) == 0) return folder + name;
  return SettingsFolder() + "/" + name;
}

}  // namespace drs
