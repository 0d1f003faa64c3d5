// Locks on a whole open file, the same for every system: shared for reading,
// exclusive for writing, held by the descriptor (another descriptor of the
// same process is kept out as any other program is). On Linux they are an
// open-file-description record lock and a flock; on Windows a byte range far
// past the data, so that the mandatory lock never blocks a read or a write.
#pragma once

#include <chrono>

namespace drs::platform {

enum class LockKind { kNone, kRead, kWrite };

// Changes the descriptor's lock from `held` to `want`, waiting at most
// `wait` for another holder. 0 when done (also on a file system without
// locks, where a single user goes on); else errno: EAGAIN when the wait ran
// out, with the lock left as `held`.
int ChangeLock(int fd, LockKind held, LockKind want, std::chrono::milliseconds wait);

}  // namespace drs::platform
