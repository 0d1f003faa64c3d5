#include "utils/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>

namespace drs {

namespace {
void SetError(std::string* error, int err) {
  if (error) *error = SystemErrorText(err);
}

std::atomic<uint64_t>& FileChanges() {
  static std::atomic<uint64_t> changes{0};
  return changes;
}
void NoteFileChange() { FileChanges().fetch_add(1, std::memory_order_acq_rel); }

}  // namespace

// Creates a new file of a random name in the folder of `path`, never
// following a link and never reusing a file that is there (O_EXCL), so a
// name planted beforehand cannot redirect the write. The descriptor, or -1
// with errno set.
int CreateTempBeside(const std::string& path, unsigned mode, std::string& tmp) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  // Cut so that the temporary name stays within the 255 bytes of a name.
  const std::string name = (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 200);
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937_64 random{std::random_device{}() ^ static_cast<uint64_t>(::getpid())};
  static std::mutex randomLock;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(8, '\0');
    {
      std::lock_guard<std::mutex> lock(randomLock);
      for (char& c : suffix) c = kChars[random() % (sizeof kChars - 1)];
    }
    tmp = folder + "." + name + "." + suffix + ".tmp~";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
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
    case EDQUOT:
      return "Превышена дисковая квота";
    default:
      return std::strerror(err);
  }
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string* error) {
  bytes.clear();
  // Without O_NONBLOCK a named pipe nobody writes to would block the open
  // for ever; pipes and devices are refused below (a device may never end).
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      SetError(error, EISDIR);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      if (error) *error = "Это не обычный файл";
      return false;
    }
    // Read straight into the result: no copy through a buffer.
    if (st.st_size > 0) bytes.resize(static_cast<size_t>(st.st_size));
  }
  size_t got = 0;
  char buf[1 << 16];
  for (;;) {
    // Past the expected size (a file that grew) through the small buffer.
    const bool direct = got < bytes.size();
    ssize_t n = direct ? ::read(fd, bytes.data() + got, bytes.size() - got) : ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      bytes.resize(got);
      SetError(error, err);
      return false;
    }
    if (n == 0) break;
    if (!direct) bytes.append(buf, static_cast<size_t>(n));
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);  // a file that shrank meanwhile
  ::close(fd);
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& bytes, std::string* error) {
  struct stat st;
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    SetError(error, EISDIR);
    return false;
  }
  // A file marked read-only is refused for every user, root included.
  if (exists && ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)) {
    SetError(error, EACCES);
    return false;
  }
  std::string tmp;
  int fd = CreateTempBeside(path, exists ? (st.st_mode & 07777) : 0666, tmp);
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      SetError(error, err);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  int syncErr = ::fsync(fd) != 0 ? errno : 0;
  int closeErr = ::close(fd) != 0 ? errno : 0;
  if (syncErr || closeErr) {
    int err = syncErr ? syncErr : closeErr;
    ::unlink(tmp.c_str());
    SetError(error, err);
    return false;
  }
  NoteFileChange();
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    SetError(error, err);
    return false;
  }
  return true;
}

namespace {
// Makes a rename or a new link in the folder of `path` last through a crash.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}
}  // namespace

bool RenameOver(const std::string& from, const std::string& to, std::string* error) {
  NoteFileChange();
  if (::rename(from.c_str(), to.c_str()) != 0) {
    SetError(error, errno);
    return false;
  }
  SyncFolderOf(to);
  return true;
}

bool RenameNew(const std::string& from, const std::string& to, std::string* error) {
  NoteFileChange();
  // One step where the file system has it; else a second link, which fails
  // just as well when the name is taken, and the first one removed.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) {
      SetError(error, errno);
      return false;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
      SetError(error, errno);
      return false;
    }
    ::unlink(from.c_str());
  }
  SyncFolderOf(to);
  return true;
}

bool MakeFolders(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  // Each missing folder from the top down; one made meanwhile by another
  // program is as good as ours.
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (!folder.empty() && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path, std::string* error) {
  NoteFileChange();
  if (::unlink(path.c_str()) == 0) return true;
  SetError(error, errno);
  return false;
}

uint64_t FileChangeGeneration() { return FileChanges().load(std::memory_order_acquire); }

}  // namespace drs
