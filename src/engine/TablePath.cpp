#include "engine/TablePath.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "engine/EDBEngineError.h"
#include "utils/TextCase.h"

namespace drs {

std::string ResolveFolder(const std::string& database) {
  std::string folder = database;
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (folder.empty() || folder[0] != '/') {
    char buf[4096];  // asked for on every statement: no zero-filled string
    if (!::getcwd(buf, sizeof buf)) throw EDBEngineError("Не могу определить текущую папку");
    const std::string cwd(buf);
    folder = folder.empty() ? cwd : cwd + "/" + folder;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string ResolveTableFile(const std::string& folder, const std::string& name) {
  if (name.empty()) throw EDBEngineError("Не задано имя таблицы");
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos || name == "." ||
      name == "..")
    throw EDBEngineError("Недопустимое имя таблицы: " + name);
  return ResolveNamedFile((folder == "/" ? "/" : folder + "/") + name + ".DBF");
}

std::string FindNamedFile(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  const size_t sep = p.find_last_of('/');
  const std::string folder = ResolveFolder(sep == std::string::npos ? std::string() : p.substr(0, sep + 1));
  const std::string name = sep == std::string::npos ? p : p.substr(sep + 1);
  const std::string base = folder == "/" ? "/" : folder + "/";
  if (name.empty()) throw EDBEngineError("Не задано имя файла таблицы: " + path);
  const std::string exact = base + name;
  struct stat st {};
  if (::stat(exact.c_str(), &st) == 0) return exact;  // a folder or device is refused on opening
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return {};
  const std::string wanted = FoldCase(name);
  std::vector<std::string> found;
  while (dirent* e = ::readdir(dir))
    if (FoldCase(e->d_name) == wanted) found.push_back(base + e->d_name);
  ::closedir(dir);
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
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) throw EDBEngineError("Папка базы данных не найдена: " + folder);
  throw EDBEngineError("Таблица не найдена: нет файла " + (folder == "/" ? "" : folder) + "/" +
                       (sep == std::string::npos ? p : p.substr(sep + 1)));
}

}  // namespace drs
