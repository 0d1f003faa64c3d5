#include "platform/Paths.h"

#include "platform/Process.h"

namespace drs::platform {

namespace {
#ifdef _WIN32
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
bool IsDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}
#endif
}  // namespace

#ifdef _WIN32
bool IsAbsolutePath(std::string_view path) {
  // "\x" lies on the working folder's drive: not joined to that folder.
  return (!path.empty() && IsSeparator(path[0])) ||
         (IsDrive(path) && path.size() > 2 && IsSeparator(path[2]));
}

size_t RootLength(std::string_view path) {
  if (IsDrive(path)) return path.size() > 2 && IsSeparator(path[2]) ? 3 : 2;
  if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share\ : the server's name and the share's.
    size_t at = path.find_first_of(kSeparators, 2);
    if (at == std::string_view::npos) return path.size();
    at = path.find_first_of(kSeparators, at + 1);
    return at == std::string_view::npos ? path.size() : at + 1;
  }
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

bool HasFolder(std::string_view name) {
  return name.find_first_of(kSeparators) != std::string_view::npos || IsDrive(name);
}

std::string FolderPrefix(const std::string& folder) {
  if (!folder.empty() && IsSeparator(folder.back())) return folder;
  if (folder.size() == 2 && IsDrive(folder)) return folder;
  return folder + "/";
}
#else
bool IsAbsolutePath(std::string_view path) { return !path.empty() && path[0] == '/'; }

size_t RootLength(std::string_view path) { return IsAbsolutePath(path) ? 1 : 0; }

bool HasFolder(std::string_view name) { return name.find('/') != std::string_view::npos; }

std::string FolderPrefix(const std::string& folder) {
  return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}
#endif

std::string AbsolutePath(const std::string& path) {
  return IsAbsolutePath(path) ? path : FolderPrefix(CurrentFolder()) + path;
}

}  // namespace drs::platform
