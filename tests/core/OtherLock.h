// A lock on a file held as another program would hold it: on Linux a record
// lock of an open file description of its own, on Windows the byte-range
// lock every writer of tables takes.
#pragma once

#include <string>

#ifdef _WIN32
#include "platform/Files.h"
#include "platform/Locks.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace drs::test {

class OtherProgramsLock {
 public:
  explicit OtherProgramsLock(const std::string& path) {
#ifdef _WIN32
    fd_ = platform::OpenFile(path, platform::kReadWrite);
    held_ = fd_ >= 0 && platform::ChangeLock(fd_, platform::LockKind::kNone, platform::LockKind::kWrite,
                                             std::chrono::milliseconds(0)) == 0;
#else
    fd_ = ::open(path.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    held_ = fd_ >= 0 && ::fcntl(fd_, F_OFD_SETLK, &fl) == 0;
#endif
  }
  ~OtherProgramsLock() { Release(); }
  OtherProgramsLock(const OtherProgramsLock&) = delete;
  OtherProgramsLock& operator=(const OtherProgramsLock&) = delete;
  bool Held() const { return held_; }
  void Release() {
    if (fd_ < 0) return;
#ifdef _WIN32
    platform::CloseFile(fd_);
#else
    ::close(fd_);
#endif
    fd_ = -1;
    held_ = false;
  }

 private:
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace drs::test
