#include "huge_pages.h"

#include <sys/mman.h>

namespace trelk {

void advise_huge_pages(void* memory, std::size_t size) {
  const auto address = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t start =
      (address + kHugePageSize - 1) & ~(kHugePageSize - 1);
  const std::uintptr_t end = (address + size) & ~(kHugePageSize - 1);
  if (end > start) {
    (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  }
}

}  // namespace trelk
