#include "platform/Memory.h"

#include <windows.h>

namespace drs::platform {

void* AllocateZeroPages(size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void FreeZeroPages(void* block, size_t) { VirtualFree(block, 0, MEM_RELEASE); }

// Large pages need a privilege ordinary users lack: no advice to give.
void AdviseHugePages(void*, size_t) {}

// The pages lie inside a heap block: giving them back (MEM_RESET) would
// leave what they held undefined, so they stay.
void DiscardPages(void*, size_t) {}

size_t PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

}  // namespace drs::platform
