#include "utils/Pages.h"

#include <cstdint>
#include <new>

#include "platform/Memory.h"

namespace drs {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
// From here on a block is rounded up to whole huge pages: one fault for
// them costs less than a fault per 4 KiB page of half of one.
constexpr size_t kHugeFrom = kHugePage / 2;
}  // namespace

void* AllocatePages(size_t size) {
  if (size < kHugeFrom) return ::operator new(size);
  if (size > SIZE_MAX - kHugePage) throw std::bad_alloc();
  const size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
  void* block = ::operator new(rounded, std::align_val_t(kHugePage));
  AdviseHugePages(block, rounded);
  return block;
}

void FreePages(void* block, size_t size) noexcept {
  if (size < kHugeFrom) {
    ::operator delete(block);
  } else {
    ::operator delete(block, std::align_val_t(kHugePage));
  }
}

void AdviseHugePages(const void* data, size_t size) {
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHuge - 1);
  if (end > begin) platform::AdviseHugePages(reinterpret_cast<void*>(begin), end - begin);
}

void ReleaseUnusedPages(std::string& text) {
  const uintptr_t page = static_cast<uintptr_t>(platform::PageSize());
  const uintptr_t data = reinterpret_cast<uintptr_t>(text.data());
  const uintptr_t begin = (data + text.size() + 1 + page - 1) & ~(page - 1);  // past the final zero
  const uintptr_t end = (data + text.capacity()) & ~(page - 1);
  if (end > begin) platform::DiscardPages(reinterpret_cast<void*>(begin), end - begin);
}

}  // namespace drs
