#pragma once

#include <cstddef>
#include <cstdint>

namespace trelk {

// 2 MiB: the huge page size of x86-64 (and of arm64 with 4 KiB pages).
inline constexpr std::uintptr_t kHugePageSize = std::uintptr_t{2} << 20;

// Asks for huge pages over the whole ones in [memory, memory + size), so
// that memory filled from start to end faults once per 2 MiB instead of
// once per 4 KiB. Only advice: where huge pages are off, nothing changes.
// A huge page is resident as a whole once touched, so advise only memory
// that will be filled.
void advise_huge_pages(void* memory, std::size_t size);

}  // namespace trelk
