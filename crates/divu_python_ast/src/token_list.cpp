#include "token_list.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <utility>

namespace divu {
namespace {

// 16 MiB: a mapping this large (for a source of about 7 MB or more) is filled
// on huge pages, one fault per 2 MiB; all but its last one is filled.
constexpr std::size_t kMinHugeBytes = std::size_t{16} << 20;

// Read when the library is loaded: a value computed on first use would be
// guarded by a one-time initialisation, which a fork meeting another thread
// inside it would leave the child waiting on for ever.
const auto kPageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));

std::size_t page_rounded(std::size_t bytes) {
  return (bytes + kPageSize - 1) & ~(kPageSize - 1);
}

// Advises the whole mapping, never a part: advice on part of a mapping
// splits it in two, and a split mapping can no longer be remapped whole.
// The kernel gives huge pages to the aligned 2 MiB stretches inside it.
void advise(void* memory, std::size_t bytes) {
  if (bytes >= kMinHugeBytes) {
    (void)madvise(memory, bytes, MADV_HUGEPAGE);
  }
}

// 8 MiB: the address space a fresh mapping takes, and the largest mapping a
// thread keeps for its next list; enough for a source of about 4 MB. A
// fresh mapping faults on every page its list fills; a kept one was filled
// before and does not. Taking the whole room at once lets a list grow in
// place: a list that outgrows its mapping is remapped, and when the
// addresses after it are taken (by another thread's mappings, say) the
// kernel moves every page of it, which rewrites each page's entry and
// flushes the translations of every processor that runs one of the
// process's threads. Pages of the room that no list filled cost nothing.
constexpr std::size_t kSpareBytes = std::size_t{8} << 20;

// The mapping of the largest list this thread freed, kept for its next
// large list. Unmapped when the thread ends.
struct SpareMapping {
  void* memory = nullptr;
  std::size_t bytes = 0;
  SpareMapping() = default;
  SpareMapping(const SpareMapping&) = delete;
  SpareMapping& operator=(const SpareMapping&) = delete;
  ~SpareMapping() {
    if (memory != nullptr) {
      munmap(memory, bytes);
    }
  }
};

thread_local SpareMapping t_spare_mapping;

void* map_fresh(std::size_t bytes) {
  return mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}

// A mapping of at least `bytes` (a whole number of pages): the thread's
// spare one, grown in place or moved by the kernel where it is too small,
// or a fresh one of at least kSpareBytes, or of `bytes` alone where the
// address space has no room for more (under a limit on it). Sets `bytes`
// to its size.
void* new_mapping(std::size_t& bytes) {
  SpareMapping& spare = t_spare_mapping;
  void* memory = nullptr;
  if (spare.memory == nullptr) {
    memory = bytes < kSpareBytes ? map_fresh(kSpareBytes) : MAP_FAILED;
    if (memory != MAP_FAILED) {
      bytes = kSpareBytes;
    } else {
      memory = map_fresh(bytes);
    }
  } else if (spare.bytes >= bytes) {
    memory = spare.memory;
    bytes = spare.bytes;
  } else {
    memory = mremap(spare.memory, spare.bytes, bytes, MREMAP_MAYMOVE);
  }
  if (memory == MAP_FAILED) {
    throw std::bad_alloc();
  }
  spare.memory = nullptr;
  spare.bytes = 0;
  return memory;
}

// Keeps the mapping for the thread's next list when it is the largest one
// that may be kept, and unmaps it otherwise.
void free_mapping(void* memory, std::size_t bytes) noexcept {
  SpareMapping& spare = t_spare_mapping;
  if (bytes <= kSpareBytes && bytes > spare.bytes) {
    std::swap(memory, spare.memory);
    std::swap(bytes, spare.bytes);
  }
  if (memory != nullptr) {
    munmap(memory, bytes);
  }
}

}  // namespace

void TokenList::reserve(std::size_t capacity) {
  if (capacity <= capacity_) {
    return;
  }
  if (capacity > SIZE_MAX / sizeof(Token)) {
    throw std::bad_alloc();
  }
  const std::size_t bytes = capacity * sizeof(Token);
  if (mapping_bytes_ == 0 && bytes < kMapBytes) {
    // On the heap, through operator new, so that it counts as heap.
    auto* fresh = static_cast<Token*>(::operator new(bytes));
    if (size_ != 0) {
      std::memcpy(fresh, data_, size_ * sizeof(Token));
    }
    free_storage();
    data_ = fresh;
    capacity_ = capacity;
    return;
  }
  // Whole pages: the list may use all of them.
  const std::size_t mapping_bytes = page_rounded(bytes);
  if (mapping_bytes <= mapping_bytes_) {
    // The thread's spare mapping was larger than the list needed so far.
    capacity_ = mapping_bytes / sizeof(Token);
    return;
  }
  std::size_t taken = mapping_bytes;
  void* memory = nullptr;
  if (mapping_bytes_ != 0) {
    // The kernel moves the pages, not their contents.
    memory = mremap(data_, mapping_bytes_, taken, MREMAP_MAYMOVE);
    if (memory == MAP_FAILED) {
      throw std::bad_alloc();
    }
  } else {
    memory = new_mapping(taken);
    if (size_ != 0) {
      std::memcpy(memory, data_, size_ * sizeof(Token));
    }
    free_storage();
  }
  advise(memory, taken);
  data_ = static_cast<Token*>(memory);
  mapping_bytes_ = taken;
  capacity_ = mapping_bytes / sizeof(Token);
}

void TokenList::free_storage() noexcept {
  if (data_ == nullptr) {
    return;
  }
  if (mapping_bytes_ != 0) {
    free_mapping(data_, mapping_bytes_);
  } else {
    ::operator delete(data_);
  }
  data_ = nullptr;
  capacity_ = 0;
  mapping_bytes_ = 0;
}

}  // namespace divu
