// Memory pages of large buffers: huge pages for a buffer about to be filled
// or a table read at random, and the unused capacity of a text given back.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <vector>

namespace drs {

// Asks for huge pages for the whole 2 MiB blocks inside [data, data+size) not
// yet touched: a report read into them costs a fault per 2 MiB instead of one
// per 4 KiB. Only advice; nothing changes where it is not followed.
void AdviseHugePages(const void* data, size_t size);

// Gives the whole pages of the text's unused capacity back to the system;
// the text and its capacity stay (such pages read as zeros when used again).
void ReleaseUnusedPages(std::string& text);

// Blocks from 1 MiB on in whole huge pages, aligned and advised as such,
// others as operator new gives them; FreePages takes the size the block was
// asked for.
void* AllocatePages(size_t size);
void FreePages(void* block, size_t size) noexcept;

// For a large table: with huge pages it is filled with a fault per 2 MiB,
// not per 4 KiB, and lookups at random miss the address translation cache
// far less often.
template <typename T>
struct HugePageAllocator {
  using value_type = T;
  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocatePages(n * sizeof(T)));
  }
  void deallocate(T* block, size_t n) noexcept { FreePages(block, n * sizeof(T)); }
  friend bool operator==(const HugePageAllocator&, const HugePageAllocator&) { return true; }
};

template <typename T>
using HugePageVector = std::vector<T, HugePageAllocator<T>>;

}  // namespace drs
