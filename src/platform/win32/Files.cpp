#include "platform/Files.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/win32/Win32.h"

namespace drs::platform {

using win32::Failed;
using win32::HandleOf;
using win32::WidePath;

namespace {
// Every file is opened sharing reading, writing and deleting with every
// other opener: other programs read a table while it is written, and a
// table is renamed over while open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int64_t NanosecondsOf(const FILETIME& time) {
  // 100 ns steps since 1601 to ns since 1970.
  const int64_t ticks = (int64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return (ticks - 116444736000000000LL) * 100;
}

bool Fill(HANDLE h, FileInfo& info) {
  BY_HANDLE_FILE_INFORMATION data;
  if (!GetFileInformationByHandle(h, &data)) return Failed(), false;
  info.device = data.dwVolumeSerialNumber;
  info.file = (uint64_t(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
  info.size = (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info.mtimeNs = NanosecondsOf(data.ftLastWriteTime);
  info.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.regular = !info.folder && GetFileType(h) == FILE_TYPE_DISK;
  info.mode = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : info.folder ? 0777 : 0666;
  info.links = data.nNumberOfLinks;
  // A file removed while open keeps its name until the last handle closes:
  // it counts as having no name left, as on POSIX.
  FILE_STANDARD_INFO standard{};
  if (GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) && standard.DeletePending)
    info.links = 0;
  return true;
}

bool InfoOfPath(const std::string& path, FileInfo& info, DWORD flags) {
  HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed(), false;
  const bool ok = Fill(h, info);
  CloseHandle(h);
  return ok;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The handle as a C library descriptor, which owns it from then on.
int Descriptor(HANDLE h, int flags) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    errno = EMFILE;
  }
  return fd;
}
}  // namespace

int OpenFile(const std::string& path, unsigned flags) {
  const std::wstring wide = WidePath(path);
  const DWORD access = (flags & kReadWrite)   ? GENERIC_READ | GENERIC_WRITE
                       : (flags & kWriteOnly) ? GENERIC_WRITE
                                              : GENERIC_READ;
  const DWORD disposition = (flags & kCreate)     ? ((flags & kTruncate) ? CREATE_ALWAYS : OPEN_ALWAYS)
                            : (flags & kTruncate) ? TRUNCATE_EXISTING
                                                  : OPEN_EXISTING;
  const DWORD how = FILE_ATTRIBUTE_NORMAL | ((flags & kNoFollow) ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE h = CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, how, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED && IsFolder(wide) ? EISDIR : win32::ErrnoOf(error);
    return -1;
  }
  if (flags & kNoFollow) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      CloseHandle(h);
      errno = ELOOP;
      return -1;
    }
  }
  int crt = (flags & (kReadWrite | kWriteOnly)) ? ((flags & kReadWrite) ? _O_RDWR : _O_WRONLY) : _O_RDONLY;
  if (flags & kAppend) crt |= _O_APPEND;
  return Descriptor(h, crt);
}

int CreateNewFile(const std::string& path, unsigned mode) {
  const DWORD attributes = (mode & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
  HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                         attributes, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  return Descriptor(h, _O_RDWR);
}

int CloseFile(int fd) { return _close(fd); }

long long ReadSome(int fd, void* out, size_t n) {
  return _read(fd, out, unsigned(n > INT_MAX ? INT_MAX : n));
}

long long WriteSome(int fd, const void* data, size_t n) {
  return _write(fd, data, unsigned(n > INT_MAX ? INT_MAX : n));
}

long long ReadAt(int fd, void* out, size_t n, int64_t at) {
  OVERLAPPED where{};
  where.Offset = DWORD(uint64_t(at));
  where.OffsetHigh = DWORD(uint64_t(at) >> 32);
  DWORD got = 0;
  if (!ReadFile(HandleOf(fd), out, DWORD(n > (1u << 30) ? (1u << 30) : n), &got, &where)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    return Failed();
  }
  return got;
}

long long WriteAt(int fd, const void* data, size_t n, int64_t at) {
  OVERLAPPED where{};
  where.Offset = DWORD(uint64_t(at));
  where.OffsetHigh = DWORD(uint64_t(at) >> 32);
  DWORD put = 0;
  if (!WriteFile(HandleOf(fd), data, DWORD(n > (1u << 30) ? (1u << 30) : n), &put, &where)) return Failed();
  return put;
}

int SyncFile(int fd) { return FlushFileBuffers(HandleOf(fd)) ? 0 : Failed(); }
int SyncData(int fd) { return SyncFile(fd); }

// Renames are written through (MOVEFILE_WRITE_THROUGH): nothing to do here.
void SyncFolder(const std::string&) {}

int CutFile(int fd, int64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = size;
  return SetFileInformationByHandle(HandleOf(fd), FileEndOfFileInfo, &end, sizeof end) ? 0 : Failed();
}

// Sparse files are not looked for on Windows.
int64_t FirstHole(int, int64_t) { return -1; }

bool PathInfo(const std::string& path, FileInfo& info) { return InfoOfPath(path, info, 0); }

bool LinkInfo(const std::string& path, FileInfo& info) {
  return InfoOfPath(path, info, FILE_FLAG_OPEN_REPARSE_POINT);
}

bool OpenFileInfo(int fd, FileInfo& info) { return Fill(HandleOf(fd), info); }
bool OpenFileState(int fd, FileInfo& info, bool) { return Fill(HandleOf(fd), info); }

bool StillAt(int fd, const std::string& path) {
  FileInfo open, named;
  return OpenFileInfo(fd, open) && PathInfo(path, named) && open.device == named.device &&
         open.file == named.file;
}

bool SameFile(const std::string& a, const std::string& b) {
  FileInfo ia, ib;
  return PathInfo(a, ia) && PathInfo(b, ib) && ia.device == ib.device && ia.file == ib.file;
}

bool CanWrite(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

namespace {
// Windows 10's rename with POSIX semantics replaces a file that others hold
// open (sharing deletion, as every opener here does).
bool RenameOverOpen(const std::wstring& source, const std::wstring& target) {
  wchar_t full[32768];
  const DWORD n = GetFullPathNameW(target.c_str(), 32768, full, nullptr);
  if (n == 0 || n >= 32768) return false;
  const std::wstring name = L"\\??\\" + std::wstring(full, n);
  HANDLE h = CreateFileW(source.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t), 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  info->FileNameLength = DWORD(name.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, name.data(), info->FileNameLength);
  // FileRenameInfoEx, which the headers declare for newer targets only.
  constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  const bool done = SetFileInformationByHandle(h, kRenameInfoEx, info, DWORD(buffer.size())) != 0;
  CloseHandle(h);
  return done;
}

// Where that rename is missing (older Windows, Wine): the open target is
// moved aside (an open file can be renamed, not replaced), the new file
// takes its name, and the old one goes once its last holder closes it.
bool RenameAside(const std::wstring& source, const std::wstring& target) {
  const std::wstring aside = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                             std::to_wstring(GetTickCount64()) + L".old~";
  if (!MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
  if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    SetLastError(error);
    return false;
  }
  DeleteFileW(aside.c_str());
  return true;
}
}  // namespace

int RenameOver(const std::string& from, const std::string& to) {
  const std::wstring source = WidePath(from), target = WidePath(to);
  if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  if (GetLastError() != ERROR_ACCESS_DENIED) return Failed();
  // The target is open elsewhere.
  if (RenameOverOpen(source, target) || RenameAside(source, target)) return 0;
  return Failed();
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : Failed();
}

int RemoveFile(const std::string& path) { return DeleteFileW(WidePath(path).c_str()) ? 0 : Failed(); }

int MakeFolder(const std::string& path) {
  return CreateDirectoryW(WidePath(path).c_str(), nullptr) ? 0 : Failed();
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
  std::wstring pattern = WidePath(folder);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // an empty drive
    return Failed(), false;
  }
  do {
    const std::string name = win32::Narrow(found.cFileName, wcslen(found.cFileName));
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return true;
}

}  // namespace drs::platform
