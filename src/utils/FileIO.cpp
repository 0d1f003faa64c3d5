#include "utils/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace drs {

namespace {
void SetError(std::string* error, int err) {
  if (error) *error = SystemErrorText(err);
}

}  // namespace

// Creates a new file of a random name in the folder of `path`, never
// following a link and never reusing a file that is there (O_EXCL), so a
// name planted beforehand cannot redirect the write. The descriptor, or -1
// with errno set.
int CreateTempBeside(const std::string& path, unsigned mode, std::string& tmp) {
  const size_t slash = path.find_last_of(platform::kSeparators);
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  // Cut so that the temporary name stays within the 255 bytes of a name.
  const std::string name = (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 200);
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937_64 random{std::random_device{}() ^ static_cast<uint64_t>(platform::ProcessId())};
  static std::mutex randomLock;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(8, '\0');
    {
      std::lock_guard<std::mutex> lock(randomLock);
      for (char& c : suffix) c = kChars[random() % (sizeof kChars - 1)];
    }
    tmp = folder + "." + name + "." + suffix + ".tmp~";
    int fd = platform::CreateNewFile(tmp, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

std::string SystemErrorText(int err) {
  switch (err) {
    case ENOENT:
      return "Файл или папка не найдены";
    case EACCES:
    case EPERM:
      return "Нет доступа";
    case EROFS:
      return "Файловая система только для чтения";
    case ENOSPC:
      return "Нет места на диске";
    case EFBIG:
      return "Превышен допустимый размер файла";
    case EISDIR:
      return "Это папка, а не файл";
    case ENOTDIR:
      return "Неверный путь: часть пути не папка";
#ifdef EDQUOT
    case EDQUOT:
      return "Превышена дисковая квота";
#endif
    default:
      return std::strerror(err);
  }
}

bool FileExists(const std::string& path) {
  platform::FileInfo info;
  return !path.empty() && platform::PathInfo(path, info) && !info.folder;
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string* error) {
  bytes.clear();
  // Without O_NONBLOCK a named pipe nobody writes to would block the open
  // for ever; pipes and devices are refused below (a device may never end).
  int fd = platform::OpenFile(path, platform::kNoBlock);
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  platform::FileInfo info;
  if (platform::OpenFileInfo(fd, info)) {
    if (info.folder) {
      platform::CloseFile(fd);
      SetError(error, EISDIR);
      return false;
    }
    if (!info.regular) {
      platform::CloseFile(fd);
      if (error) *error = "Это не обычный файл";
      return false;
    }
    // Read straight into the result: no copy through a buffer.
    if (info.size > 0) bytes.resize(static_cast<size_t>(info.size));
  }
  size_t got = 0;
  char buf[1 << 16];
  for (;;) {
    // Past the expected size (a file that grew) through the small buffer.
    const bool direct = got < bytes.size();
    long long n = direct ? platform::ReadSome(fd, bytes.data() + got, bytes.size() - got)
                         : platform::ReadSome(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      platform::CloseFile(fd);
      bytes.resize(got);
      SetError(error, err);
      return false;
    }
    if (n == 0) break;
    if (!direct) bytes.append(buf, static_cast<size_t>(n));
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);  // a file that shrank meanwhile
  platform::CloseFile(fd);
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& bytes, std::string* error) {
  platform::FileInfo info;
  bool exists = platform::PathInfo(path, info);
  if (exists && info.folder) {
    SetError(error, EISDIR);
    return false;
  }
  // A file marked read-only is refused for every user, root included.
  if (exists && ((info.mode & 0222) == 0 || !platform::CanWrite(path))) {
    SetError(error, EACCES);
    return false;
  }
  std::string tmp;
  int fd = CreateTempBeside(path, exists ? info.mode : 0666, tmp);
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    long long n = platform::WriteSome(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      platform::CloseFile(fd);
      platform::RemoveFile(tmp);
      SetError(error, err);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  int syncErr = platform::SyncFile(fd) != 0 ? errno : 0;
  int closeErr = platform::CloseFile(fd) != 0 ? errno : 0;
  if (syncErr || closeErr) {
    int err = syncErr ? syncErr : closeErr;
    platform::RemoveFile(tmp);
    SetError(error, err);
    return false;
  }
  if (platform::RenameOver(tmp, path) != 0) {
    int err = errno;
    platform::RemoveFile(tmp);
    SetError(error, err);
    return false;
  }
  return true;
}

namespace {
// Makes a rename or a new link in the folder of `path` last through a crash.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(platform::kSeparators);
  const std::string folder = slash == std::string::npos                         ? "."
                             : slash < platform::RootLength(path) || slash == 0 ? path.substr(0, slash + 1)
                                                                                : path.substr(0, slash);
  platform::SyncFolder(folder);
}
}  // namespace

bool RenameOver(const std::string& from, const std::string& to, std::string* error) {
  if (platform::RenameOver(from, to) != 0) {
    SetError(error, errno);
    return false;
  }
  SyncFolderOf(to);
  return true;
}

bool RenameNew(const std::string& from, const std::string& to, std::string* error) {
  if (platform::RenameNoReplace(from, to) != 0) {
    SetError(error, errno);
    return false;
  }
  SyncFolderOf(to);
  return true;
}

bool MakeFolders(const std::string& path) {
  platform::FileInfo info;
  if (platform::PathInfo(path, info)) return info.folder;
  // Each missing folder from the top down, below the root; one made
  // meanwhile by another program is as good as ours.
  const size_t root = std::max<size_t>(platform::RootLength(path), 1);
  for (size_t slash = path.find_first_of(platform::kSeparators, root);;
       slash = path.find_first_of(platform::kSeparators, slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (!folder.empty() && platform::MakeFolder(folder) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return platform::PathInfo(path, info) && info.folder;
}

bool RemoveFile(const std::string& path, std::string* error) {
  if (platform::RemoveFile(path) == 0) return true;
  SetError(error, errno);
  return false;
}

}  // namespace drs
