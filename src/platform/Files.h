// Files through the operating system: open, read and write at a position,
// what a file is, renames, folders. Paths are UTF-8 on every system. The
// calls answer as POSIX ones do: -1 (or false) with errno set on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace drs::platform {

// How OpenFile opens: read only unless kReadWrite or kWriteOnly; kNoFollow
// refuses a link as the last part of the path; kNoBlock never waits on a
// pipe or device; kCreate makes a missing file (mode 0666 less the umask),
// kAppend writes at its end, kTruncate empties it.
enum OpenFlags : unsigned {
  kReadOnly = 0,
  kReadWrite = 1,
  kNoFollow = 2,
  kNoBlock = 4,
  kWriteOnly = 8,
  kCreate = 16,
  kAppend = 32,
  kTruncate = 64
};

// A descriptor, or -1 with errno set. Files are shared for reading, writing
// and renaming over them with every other opener.
int OpenFile(const std::string& path, unsigned flags);
// A new file for writing with the mode bits `mode`, never through a link nor
// over a file that is there (EEXIST).
int CreateNewFile(const std::string& path, unsigned mode);
int CloseFile(int fd);
// Reads or writes at the file position (a short count is no error).
long long ReadSome(int fd, void* out, size_t n);
long long WriteSome(int fd, const void* data, size_t n);
// Reads or writes at `at`, leaving nothing else changed.
long long ReadAt(int fd, void* out, size_t n, int64_t at);
long long WriteAt(int fd, const void* data, size_t n, int64_t at);
// Flushes the file to disk: everything, or the data and the size.
int SyncFile(int fd);
int SyncData(int fd);
// Makes a new name in the folder last through a crash (best effort).
void SyncFolder(const std::string& folder);
int CutFile(int fd, int64_t size);
// Where the first hole at or after `from` begins (the file's size without
// one); -1 when the system cannot tell.
int64_t FirstHole(int fd, int64_t from);

struct FileInfo {
  uint64_t device = 0;  // with `file`, the identity of the file
  uint64_t file = 0;
  int64_t size = 0;
  int64_t mtimeNs = 0;
  uint32_t mode = 0;  // permission bits; 0444 for a file marked read-only
  uint64_t links = 1;
  bool folder = false;
  bool regular = false;
};
// What the path names (following links, or not), false with errno set.
bool PathInfo(const std::string& path, FileInfo& info);
bool LinkInfo(const std::string& path, FileInfo& info);
// What the open file is, all of it.
bool OpenFileInfo(int fd, FileInfo& info);
// Links, size and mode (and the time when `withTime`) of the open file, as
// cheaply as the system allows: asking for the times makes Linux stamp later
// writes with fine-grained times. Fields not asked for may stay as they were.
bool OpenFileState(int fd, FileInfo& info, bool withTime);
// The open file is still the one at `path`. POSIX tells a file renamed over
// or removed by its link count alone (always true here); Windows renames a
// file open elsewhere aside first, so there the path is looked at.
bool StillAt(int fd, const std::string& path);
// Both names are one file (links and other spellings included).
bool SameFile(const std::string& a, const std::string& b);
// The user may write the file (as far as its permissions tell).
bool CanWrite(const std::string& path);

// `from` over `to` in one step (replacing it, open or not); 0 or -1.
int RenameOver(const std::string& from, const std::string& to);
// `from` to `to` only while no file has that name (EEXIST); 0 or -1.
int RenameNoReplace(const std::string& from, const std::string& to);
int RemoveFile(const std::string& path);
// A folder open to its owner alone; 0 or -1 (EEXIST when it is there).
int MakeFolder(const std::string& path);
// The names in the folder ("." and ".." left out); false when it cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>& names);

}  // namespace drs::platform
