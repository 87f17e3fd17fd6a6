#include "arena.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "huge_pages.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TRELK_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define TRELK_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define TRELK_POISON(address, size) ((void)(address), (void)(size))
#define TRELK_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace divu {
namespace {

// 4 KiB: a small file's tree fits in the first block.
constexpr std::size_t kFirstBlockSize = std::size_t{4} << 10;
// 1 MiB: blocks double up to this size, so that a large file needs few
// blocks while the unused tail of the last one stays bounded. A first block
// sized by the caller stays below it too: a block cut from a chunk gives its
// unused end back, and one on its own could not, so a large text's tree
// would keep the whole slack of its estimate.
constexpr std::size_t kMaxBlockSize = std::size_t{1} << 20;

// Blocks come from memory taken in large pieces, against two costs that
// dominate when threads parse file after file and keep the trees: each
// fresh 4 KiB page faults on its first touch, and each mapping of a large
// block (the C library maps every one of 128 KiB or more) takes the
// process's address-space lock, which all threads share. A block of up to
// kMaxBlockSize is cut from its thread's current chunk, which is aligned and
// advised for huge pages, so that one fault serves 2 MiB; a larger block (for
// one allocation larger than a block) is allocated on its own, and the
// whole huge pages of a very large one are advised likewise. A parse gives
// the unused end of its last block back, so that huge pages hold trees and
// not the slack of their estimates. Nothing is reused while any block of its
// chunk lives: a chunk is let go when its last block is freed and its thread
// has moved on to another chunk (or ended), and the thread that lets it go
// keeps one such chunk for its next (see ThreadChunk), so a thread holds
// at most two chunks that no tree uses.

// 4 MiB: two huge pages, so that a block of kMaxBlockSize leaves at most a
// quarter of a chunk unused at its end.
constexpr std::size_t kChunkSize = std::size_t{4} << 20;

struct alignas(std::max_align_t) Chunk {
  // The blocks cut from it, and one while it is its thread's current chunk.
  std::atomic<std::size_t> users;
  // Where the next block goes; only the owning thread reads or moves it.
  char* cursor;
  char* end;
};

// Set once this thread's ThreadChunk is destroyed: a chunk freed on the
// thread after that (by a tree freed while the thread ends) is freed
// outright. Plain, so that it can be read at any point of the thread's end.
thread_local bool t_chunks_let_go = false;

void release(Chunk* chunk) noexcept;

// The chunk this thread cuts blocks from, and a chunk that no block uses any
// more, kept by the thread that freed it for its next chunk: its pages were
// filled before, so they do not fault and need no zeroing again, which for
// a thread that parses file after file and drops the trees is most of a
// fresh chunk's cost. Both are let go when the thread ends.
struct ThreadChunk {
  Chunk* chunk = nullptr;
  Chunk* spare = nullptr;
  ThreadChunk() = default;
  ThreadChunk(const ThreadChunk&) = delete;
  ThreadChunk& operator=(const ThreadChunk&) = delete;
  ~ThreadChunk() {
    t_chunks_let_go = true;
    if (chunk != nullptr) {
      release(chunk);
    }
    std::free(spare);
  }
};

thread_local ThreadChunk t_chunk;

void release(Chunk* chunk) noexcept {
  if (chunk->users.fetch_sub(1, std::memory_order_acq_rel) != 1) {
    return;
  }
  if (!t_chunks_let_go && t_chunk.spare == nullptr) {
    t_chunk.spare = chunk;
  } else {
    std::free(chunk);
  }
}

// A chunk to cut blocks from: the thread's spare one, or fresh memory
// aligned and advised for huge pages.
char* new_chunk_memory() {
  if (Chunk* spare = std::exchange(t_chunk.spare, nullptr)) {
    // Its blocks were poisoned when their arenas were freed.
    TRELK_UNPOISON(spare, kChunkSize);
    return reinterpret_cast<char*>(spare);
  }
  auto* memory =
      static_cast<char*>(std::aligned_alloc(trelk::kHugePageSize, kChunkSize));
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  trelk::advise_huge_pages(memory, kChunkSize);
  return memory;
}

// 16 MiB: a block on its own this large gets huge pages. Its unused end
// is not given back, and a huge page it only begins to fill holds 2 MiB, at
// most an eighth of such a block.
constexpr std::size_t kMinHugeBlockSize = std::size_t{16} << 20;

// `size` bytes on their own, for a block larger than a chunk takes.
void* allocate_alone(std::size_t size) {
  void* memory = std::malloc(size);
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  if (size >= kMinHugeBlockSize) {
    trelk::advise_huge_pages(memory, size);
  }
  return memory;
}

// `size` bytes cut from this thread's current chunk, which is replaced when
// it has no room; `chunk` is set to the chunk.
// REQUIRES: `size` is a multiple of alignof(Chunk) and fits in a chunk.
void* carve(std::size_t size, Chunk*& chunk) {
  Chunk* current = t_chunk.chunk;
  if (current != nullptr &&
      current->users.load(std::memory_order_acquire) == 1) {
    // Every block cut from it has been freed (only this thread counts as a
    // user, and only it cuts more): cut again from its start, over pages
    // that are already filled.
    char* const start = reinterpret_cast<char*>(current) + sizeof(Chunk);
    TRELK_UNPOISON(start, static_cast<std::size_t>(current->cursor - start));
    current->cursor = start;
  }
  if (current == nullptr ||
      static_cast<std::size_t>(current->end - current->cursor) < size) {
    char* const memory = new_chunk_memory();
    Chunk* fresh = ::new (memory) Chunk{.users = 1,
                                        .cursor = memory + sizeof(Chunk),
                                        .end = memory + kChunkSize};
    if (current != nullptr) {
      release(current);
    }
    t_chunk.chunk = current = fresh;
  }
  current->users.fetch_add(1, std::memory_order_relaxed);
  void* block = current->cursor;
  current->cursor += size;
  chunk = current;
  return block;
}

}  // namespace

struct alignas(std::max_align_t) Arena::Block {
  Block* next;
  std::size_t size;  // bytes after the header
  // The chunk the block was cut from, or null for a piece of its own.
  Chunk* chunk;
};

Arena::Arena(std::size_t expected_bytes)
    : next_block_size_(
          std::clamp(expected_bytes, kFirstBlockSize, kMaxBlockSize)),
      block_after_first_(
          std::clamp(next_block_size_ / 4, kFirstBlockSize, kMaxBlockSize)) {}

Arena::~Arena() {
  Block* block = blocks_;
  while (block != nullptr) {
    Block* next = block->next;
    Chunk* chunk = block->chunk;
    if (chunk != nullptr) {
      // Freed with its chunk; until then, any read of it is a fault that
      // the address sanitizer reports.
      TRELK_POISON(block, sizeof(Block) + block->size);
      release(chunk);
    } else {
      std::free(block);
    }
    block = next;
  }
}

void Arena::release_unused() {
  Block* const block = blocks_;
  if (block == nullptr || block->chunk == nullptr ||
      block->chunk != t_chunk.chunk) {
    return;
  }
  char* const start = reinterpret_cast<char*>(block + 1);
  if (block->chunk->cursor != start + block->size) {
    return;
  }
  // Whole headers, so that the next block cut after it stays aligned.
  const auto used =
      (static_cast<std::size_t>(cursor_ - start) + alignof(Block) - 1) &
      ~(alignof(Block) - 1);
  reserved_bytes_ -= block->size - used;
  block->size = used;
  block->chunk->cursor = start + used;
  end_ = start + used;
}

std::string_view Arena::copy_string(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  char* copy = static_cast<char*>(allocate(text.size(), 1));
  std::memcpy(copy, text.data(), text.size());
  return {copy, text.size()};
}

void* Arena::allocate_slow(std::size_t size, std::size_t alignment) {
  std::size_t block_size =
      next_block_size_ == 0 ? kFirstBlockSize : next_block_size_;
  if (block_after_first_ != 0) {
    // The estimate was short: grow from a fraction of it, since the text
    // is probably only a little denser than expected.
    next_block_size_ = block_after_first_;
    block_after_first_ = 0;
  } else {
    next_block_size_ = std::min(block_size * 2, kMaxBlockSize);
  }
  // A block starts aligned to max_align_t (its header is); a stricter
  // alignment may need up to alignment - 1 bytes of padding.
  const std::size_t needed =
      size + (alignment > alignof(Block) ? alignment - 1 : 0);
  // An allocation larger than a block gets a block of its own; the current
  // block stays the one to bump from, since it may have room left.
  const bool oversized = needed > block_size;
  if (oversized) {
    block_size = needed;
  }
  // Whole headers, so that the next block cut after it stays aligned.
  block_size = (block_size + alignof(Block) - 1) & ~(alignof(Block) - 1);
  Chunk* chunk = nullptr;
  void* memory = block_size > kMaxBlockSize
                     ? allocate_alone(sizeof(Block) + block_size)
                     : carve(sizeof(Block) + block_size, chunk);
  reserved_bytes_ += sizeof(Block) + block_size;
  Block* block =
      ::new (memory) Block{.next = nullptr, .size = block_size, .chunk = chunk};
  char* const start = reinterpret_cast<char*>(block + 1);
  void* result = start;
  std::size_t room = block_size;
  // Cannot fail: the block has room for the padding.
  std::align(alignment, size, result, room);
  if (oversized && blocks_ != nullptr) {
    block->next = blocks_->next;
    blocks_->next = block;
    return result;
  }
  block->next = blocks_;
  blocks_ = block;
  cursor_ = static_cast<char*>(result) + size;
  end_ = start + block_size;
  return result;
}

}  // namespace divu
