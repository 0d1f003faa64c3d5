#include "platform/Locks.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <thread>

namespace drs::platform {

namespace {
short RecordLock(LockKind kind) {
  return static_cast<short>(kind == LockKind::kWrite ? F_WRLCK : kind == LockKind::kRead ? F_RDLCK : F_UNLCK);
}
}  // namespace

int ChangeLock(int fd, LockKind held, LockKind want, std::chrono::milliseconds wait) {
  // Locks of the open file description: they belong to this descriptor, not
  // to the process, so closing another descriptor of the file keeps them.
  struct flock fl {};
  fl.l_type = RecordLock(want);
  fl.l_whence = SEEK_SET;
  // The clock is read only once the lock is found taken: a free lock costs
  // the one call that every autocommit statement makes twice.
  std::chrono::steady_clock::time_point deadline{};
  bool waiting = false;
  int cmd = F_OFD_SETLK;
  // Programs that lock with flock are kept out as well: both locks are taken
  // with the same wait, the flock after the record lock.
  const int flockOp = (want == LockKind::kWrite  ? LOCK_EX
                       : want == LockKind::kRead ? LOCK_SH
                                                 : LOCK_UN) |
                      LOCK_NB;
  bool locked = false;
  while (!(locked = locked || ::fcntl(fd, cmd, &fl) == 0) || ::flock(fd, flockOp) != 0) {
    const int err = errno;
    if (err == EINVAL && cmd == F_OFD_SETLK) {
      cmd = F_SETLK;  // a kernel without descriptor locks
      continue;
    }
    if (err == EINTR) continue;
    // A file system without locks: go on as a single user would.
    if (err == ENOLCK || err == EOPNOTSUPP) break;
    const auto now = std::chrono::steady_clock::now();
    if (!waiting) deadline = now + wait, waiting = true;
    if ((err != EAGAIN && err != EACCES) || now >= deadline) {
      if (locked) {  // the record lock back as it was
        fl.l_type = RecordLock(held);
        ::fcntl(fd, cmd, &fl);
      }
      return err == EACCES ? EAGAIN : err;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

}  // namespace drs::platform
