#include "utils/Pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace drs {

void AdviseHugePages(const void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHuge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

void ReleaseUnusedPages(std::string& text) {
  const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t data = reinterpret_cast<uintptr_t>(text.data());
  const uintptr_t begin = (data + text.size() + 1 + page - 1) & ~(page - 1);  // past the final zero
  const uintptr_t end = (data + text.capacity()) & ~(page - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

}  // namespace drs
