#include "platform/Locks.h"

#include <cerrno>
#include <thread>

#include "platform/win32/Win32.h"

namespace drs::platform {

namespace {
// Windows' byte-range locks are mandatory: a lock on the data would block
// the reads and writes of every other descriptor, this program's own
// included. So the lock is one byte far past any table's end.
constexpr uint64_t kLockAt = uint64_t(1) << 62;

OVERLAPPED LockPlace() {
  OVERLAPPED place{};
  place.Offset = DWORD(kLockAt);
  place.OffsetHigh = DWORD(kLockAt >> 32);
  return place;
}

bool TryLock(HANDLE h, LockKind kind) {
  OVERLAPPED place = LockPlace();
  const DWORD how = LOCKFILE_FAIL_IMMEDIATELY | (kind == LockKind::kWrite ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  return LockFileEx(h, how, 0, 1, 0, &place) != 0;
}

void Unlock(HANDLE h) {
  OVERLAPPED place = LockPlace();
  UnlockFileEx(h, 0, 1, 0, &place);
}
}  // namespace

int ChangeLock(int fd, LockKind held, LockKind want, std::chrono::milliseconds wait) {
  HANDLE h = win32::HandleOf(fd);
  // Windows has no change of a lock's kind: the old one goes first.
  if (held != LockKind::kNone) Unlock(h);
  if (want == LockKind::kNone) return 0;
  std::chrono::steady_clock::time_point deadline{};
  bool waiting = false;
  while (!TryLock(h, want)) {
    const int err = win32::ErrnoOf(GetLastError());
    // A file system without locks: go on as a single user would.
    if (err == ENOLCK) return 0;
    const auto now = std::chrono::steady_clock::now();
    if (!waiting) deadline = now + wait, waiting = true;
    if (err != EAGAIN || now >= deadline) {
      if (held != LockKind::kNone) TryLock(h, held);  // back as it was, where it can be
      return err;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

}  // namespace drs::platform
