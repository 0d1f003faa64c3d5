#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace drs::platform {

namespace {
void Fill(const struct stat& st, FileInfo& info) {
  info.device = uint64_t(st.st_dev);
  info.file = uint64_t(st.st_ino);
  info.size = int64_t(st.st_size);
  info.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  info.mode = uint32_t(st.st_mode & 07777);
  info.links = uint64_t(st.st_nlink);
  info.folder = S_ISDIR(st.st_mode);
  info.regular = S_ISREG(st.st_mode);
}
}  // namespace

int OpenFile(const std::string& path, unsigned flags) {
  int how = (flags & kReadWrite) ? O_RDWR : (flags & kWriteOnly) ? O_WRONLY : O_RDONLY;
  if (flags & kNoFollow) how |= O_NOFOLLOW;
  if (flags & kNoBlock) how |= O_NONBLOCK;
  if (flags & kCreate) how |= O_CREAT;
  if (flags & kAppend) how |= O_APPEND;
  if (flags & kTruncate) how |= O_TRUNC;
  return ::open(path.c_str(), how | O_CLOEXEC, 0666);
}

int CreateNewFile(const std::string& path, unsigned mode) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

int CloseFile(int fd) { return ::close(fd); }
long long ReadSome(int fd, void* out, size_t n) { return ::read(fd, out, n); }
long long WriteSome(int fd, const void* data, size_t n) { return ::write(fd, data, n); }
long long ReadAt(int fd, void* out, size_t n, int64_t at) { return ::pread(fd, out, n, off_t(at)); }
long long WriteAt(int fd, const void* data, size_t n, int64_t at) { return ::pwrite(fd, data, n, off_t(at)); }
int SyncFile(int fd) { return ::fsync(fd); }
int SyncData(int fd) { return ::fdatasync(fd); }
int CutFile(int fd, int64_t size) { return ::ftruncate(fd, off_t(size)); }
int64_t FirstHole(int fd, int64_t from) { return ::lseek(fd, off_t(from), SEEK_HOLE); }

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool PathInfo(const std::string& path, FileInfo& info) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  Fill(st, info);
  return true;
}

bool LinkInfo(const std::string& path, FileInfo& info) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  Fill(st, info);
  return true;
}

bool OpenFileInfo(int fd, FileInfo& info) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  Fill(st, info);
  return true;
}

bool OpenFileState(int fd, FileInfo& info, bool withTime) {
  struct statx sx {};
  const unsigned mask = STATX_NLINK | STATX_SIZE | STATX_MODE | (withTime ? STATX_MTIME : 0u);
  if (::statx(fd, "", AT_EMPTY_PATH, mask, &sx) == 0 && (sx.stx_mask & mask) == mask) {
    info.links = sx.stx_nlink, info.mode = sx.stx_mode & 07777, info.size = int64_t(sx.stx_size);
    if (withTime) info.mtimeNs = int64_t(sx.stx_mtime.tv_sec) * 1000000000 + sx.stx_mtime.tv_nsec;
    return true;
  }
  return OpenFileInfo(fd, info);
}

bool StillAt(int, const std::string&) { return true; }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool CanWrite(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

int RenameOver(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()); }

int RenameNoReplace(const std::string& from, const std::string& to) {
  // One step where the file system has it; else a second link, which fails
  // just as well when the name is taken, and the first one removed.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()); }
int MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0700); }

bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return true;
}

}  // namespace drs::platform
