#include "support/AppPaths.h"

#include <algorithm>
#include <optional>

#include "platform/Paths.h"
#include "platform/Process.h"
#include "utils/Errors.h"
#include "utils/FileIO.h"
#include "utils/Utils.h"

namespace drs {

namespace {

bool IsAbsolute(const std::optional<std::string>& path) { return path && platform::IsAbsolutePath(*path); }

// "/home/a/" and "/home/a" name one folder; the root stays "/".
std::string WithoutTrailingSlashes(std::string path) {
  const size_t root = std::max<size_t>(platform::RootLength(path), 1);
  while (path.size() > root &&
         std::string_view(platform::kSeparators).find(path.back()) != std::string_view::npos)
    path.pop_back();
  return path;
}

// The program's folder in the base folder, created when missing.
std::string ProgramFolder(const char* variable, const char* homeDefault, const char* what) {
  const std::string base = XdgBaseFolder(variable, homeDefault);
  if (base.empty()) {
    throw EInOutError(std::string("Не найдена папка для ") + what + ": ни HOME, ни " + variable +
                      " не задают полный путь к папке.");
  }
  const std::string folder = base + "/drsprep";
  // A folder that cannot be made shows up as the failure to write into it.
  MakeFolders(folder);
  return folder;
}

}  // namespace

std::string XdgBaseFolder(const char* variable, const char* homeDefault) {
  const std::optional<std::string> value = platform::Environment(variable);
  if (IsAbsolute(value)) return WithoutTrailingSlashes(*value);
  const std::optional<std::string> home = platform::HomeFolder();
  if (!IsAbsolute(home)) return {};
  return platform::FolderPrefix(WithoutTrailingSlashes(*home)) + homeDefault;
}

std::string SettingsFolder() { return ProgramFolder("XDG_CONFIG_HOME", ".config", "настроек"); }

std::string SettingsFilePath() { return SettingsFolder() + "/drsprep.INI"; }

std::string StateFolder() { return ProgramFolder("XDG_STATE_HOME", ".local/state", "журнала"); }

std::string JournalFileName(const std::string& exeName) {
  size_t dot = exeName.rfind('.');
  if (dot != std::string::npos && exeName.size() - dot - 1 <= 10) return exeName.substr(0, dot + 1) + "jrn";
  return exeName + ".jrn";
}

std::string JournalFilePath() { return StateFolder() + "/" + JournalFileName(ExeName()); }

}  // namespace drs
