// Memory pages straight from the system.
#pragma once

#include <cstddef>

namespace drs::platform {

// Zero-filled pages of their own; nullptr when there is no memory.
void* AllocateZeroPages(size_t size);
void FreeZeroPages(void* block, size_t size);
// Advice only: huge pages for [data, data + size) (whole pages inside it).
void AdviseHugePages(void* data, size_t size);
// Gives whole pages back to the system; they read as zeros when used again
// where the system does that, else keep what they held.
void DiscardPages(void* data, size_t size);
size_t PageSize();

}  // namespace drs::platform
