#include "engine/TablePath.h"

#include <algorithm>
#include <vector>

#include "engine/EDBEngineError.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "utils/TextCase.h"

namespace drs {

std::string ResolveFolder(const std::string& database) {
  std::string folder = database;
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (!platform::IsAbsolutePath(folder)) {
    const std::string cwd = platform::CurrentFolder();
    if (cwd.empty()) throw EDBEngineError("Не могу определить текущую папку");
    folder = folder.empty() ? cwd : platform::FolderPrefix(cwd) + folder;
  }
  const size_t root = std::max<size_t>(platform::RootLength(folder), 1);
  while (folder.size() > root && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string ResolveTableFile(const std::string& folder, const std::string& name) {
  if (name.empty()) throw EDBEngineError("Не задано имя таблицы");
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos || name == "." ||
      name == "..")
    throw EDBEngineError("Недопустимое имя таблицы: " + name);
  return ResolveNamedFile(platform::FolderPrefix(folder) + name + ".DBF");
}

std::string FindNamedFile(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  const size_t sep = p.find_last_of('/');
  const std::string folder = ResolveFolder(sep == std::string::npos ? std::string() : p.substr(0, sep + 1));
  const std::string name = sep == std::string::npos ? p : p.substr(sep + 1);
  const std::string base = platform::FolderPrefix(folder);
  if (name.empty()) throw EDBEngineError("Не задано имя файла таблицы: " + path);
  const std::string exact = base + name;
  platform::FileInfo st;
  if (platform::PathInfo(exact, st)) return exact;  // a folder or device is refused on opening
  std::vector<std::string> names;
  if (!platform::ListFolder(folder, names)) return {};
  const std::string wanted = FoldCase(name);
  std::vector<std::string> found;
  for (const std::string& other : names)
    if (FoldCase(other) == wanted) found.push_back(base + other);
  if (found.size() == 1) return found[0];
  if (found.empty()) return {};
  std::sort(found.begin(), found.end());
  std::string list;
  for (const auto& f : found) list += "\n" + f;
  throw EDBEngineError("Таблица не найдена: нет файла " + exact +
                       ", а файлов с таким именем в другом регистре несколько:" + list);
}

std::string ResolveNamedFile(const std::string& path) {
  const std::string file = FindNamedFile(path);
  if (!file.empty()) return file;
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  const size_t sep = p.find_last_of('/');
  const std::string folder = ResolveFolder(sep == std::string::npos ? std::string() : p.substr(0, sep + 1));
  platform::FileInfo st;
  if (!platform::PathInfo(folder, st)) throw EDBEngineError("Папка базы данных не найдена: " + folder);
  throw EDBEngineError("Таблица не найдена: нет файла " + platform::FolderPrefix(folder) +
                       (sep == std::string::npos ? p : p.substr(sep + 1)));
}

}  // namespace drs
