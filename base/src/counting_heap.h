#pragma once

// Counts the heap a test or bench binary takes through operator new, at its
// highest point. It replaces the global operator new and delete, which only
// such a binary may do (never a library, least of all an extension module):
// include it in exactly one source file of the binary.

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace trelk::counting_heap {

inline std::atomic<std::size_t> g_current{0};
inline std::atomic<std::size_t> g_peak{0};

// Each block carries its size in a header so that delete can count it back.
inline constexpr std::size_t kHeader = alignof(std::max_align_t);

inline void* counted_new(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  *static_cast<std::size_t*>(block) = size;
  const std::size_t now = g_current.fetch_add(size) + size;
  std::size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(block) + kHeader;
}

inline void counted_delete(void* pointer) noexcept {
  if (pointer == nullptr) {
    return;
  }
  void* block = static_cast<char*>(pointer) - kHeader;
  g_current.fetch_sub(*static_cast<std::size_t*>(block));
  std::free(block);
}

// The highest heap in use while `work` runs, above what was in use when it
// started (allocations of other threads meanwhile included).
template <class Work>
std::size_t peak_during(Work&& work) {
  const std::size_t before = g_current.load();
  g_peak.store(before);
  work();
  return g_peak.load() - before;
}

}  // namespace trelk::counting_heap

void* operator new(std::size_t size) {
  return trelk::counting_heap::counted_new(size);
}
void* operator new[](std::size_t size) {
  return trelk::counting_heap::counted_new(size);
}
void operator delete(void* pointer) noexcept {
  trelk::counting_heap::counted_delete(pointer);
}
void operator delete[](void* pointer) noexcept {
  trelk::counting_heap::counted_delete(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
  trelk::counting_heap::counted_delete(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
  trelk::counting_heap::counted_delete(pointer);
}
