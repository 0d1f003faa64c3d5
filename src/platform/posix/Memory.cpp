#include "platform/Memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace drs::platform {

void* AllocateZeroPages(size_t size) {
  void* m = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return m == MAP_FAILED ? nullptr : m;
}

void FreeZeroPages(void* block, size_t size) { ::munmap(block, size); }

void AdviseHugePages(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  ::madvise(data, size, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

void DiscardPages(void* data, size_t size) { ::madvise(data, size, MADV_DONTNEED); }

size_t PageSize() { return static_cast<size_t>(::sysconf(_SC_PAGESIZE)); }

}  // namespace drs::platform
