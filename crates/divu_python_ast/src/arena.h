#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

namespace divu {

// The memory of one parse: syntax-tree nodes, their lists and the texts the
// parser builds (normalised identifiers, decoded strings) are bump-allocated
// from it in growing blocks.
//
// Lifetimes: everything made in an arena lives exactly as long as the arena
// and is released all at once when it is destroyed; nothing made in it is
// ever destroyed on its own, which is why only trivially destructible types
// may be made here. Freeing a tree therefore costs one free per block, at any
// depth, and can never overflow the stack. Pointers, spans and views into an
// arena stay valid when the arena is moved (blocks never move). An arena is
// not thread-safe while it is being filled; once filled it is only read, and
// any number of threads may read what it holds.
//
// Memory: small blocks are cut from pieces of a few MiB that the thread
// filling the arena shares with its other arenas, on huge pages where the
// system allows; a piece goes back when its last block is freed, and each
// thread keeps at most two pieces that no arena uses (the one it cuts from
// and one for its next), so that a thread parsing file after file reuses
// pages instead of faulting fresh ones.
class Arena {
 public:
  Arena() = default;
  // An arena whose first block holds about `expected_bytes` (clamped to
  // [4 KiB, 1 MiB]), for a caller that knows roughly how much it will
  // make: one block then serves where doubling from 4 KiB would take many
  // and leave the last one up to half unused. Later blocks start at a
  // quarter of the first and double from there up to 1 MiB.
  explicit Arena(std::size_t expected_bytes);
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  Arena(Arena&& other) noexcept { swap(other); }
  Arena& operator=(Arena&& other) noexcept {
    Arena(std::move(other)).swap(*this);
    return *this;
  }
  ~Arena();

  // Constructs a T from `args` in the arena and returns it.
  template <class T, class... Args>
  T* make(Args&&... args) {
    static_assert(std::is_trivially_destructible_v<T>,
                  "arena objects are never destroyed");
    void* memory = allocate(sizeof(T), alignof(T));
    return ::new (memory) T(std::forward<Args>(args)...);
  }

  // A list of `count` value-initialised Ts in the arena.
  template <class T>
  std::span<T> make_list(std::size_t count) {
    static_assert(std::is_trivially_destructible_v<T>,
                  "arena objects are never destroyed");
    if (count == 0) {
      return {};
    }
    T* items = static_cast<T*>(allocate(sizeof(T) * count, alignof(T)));
    std::uninitialized_value_construct_n(items, count);
    return {items, count};
  }

  // A copy of `items` in the arena (for lists the parser collects in a
  // vector and keeps once they are complete).
  template <class T>
  std::span<T> copy_list(std::span<const T> items) {
    static_assert(std::is_trivially_destructible_v<T>,
                  "arena objects are never destroyed");
    if (items.empty()) {
      return {};
    }
    T* copy = static_cast<T*>(allocate(sizeof(T) * items.size(), alignof(T)));
    std::uninitialized_copy(items.begin(), items.end(), copy);
    return {copy, items.size()};
  }
  template <class T>
  std::span<T> copy_list(std::span<T> items) {
    return copy_list(std::span<const T>(items));
  }

  // A copy of `text` in the arena.
  std::string_view copy_string(std::string_view text);

  // `size` bytes aligned to `alignment` (a power of two), uninitialised.
  void* allocate(std::size_t size, std::size_t alignment) {
    void* memory = cursor_;
    std::size_t room = static_cast<std::size_t>(end_ - cursor_);
    if (std::align(alignment, size, memory, room) != nullptr) {
      cursor_ = static_cast<char*>(memory) + size;
      return memory;
    }
    return allocate_slow(size, alignment);
  }

  // Bytes taken from the system so far, block headers included.
  std::size_t reserved_bytes() const { return reserved_bytes_; }

  // For an arena that is full: gives the unused end of its newest block
  // back to the piece it was cut from, when nothing was cut after it (on
  // the thread that filled the arena, right after). A later allocation takes
  // a new block.
  void release_unused();

 private:
  struct Block;
  void* allocate_slow(std::size_t size, std::size_t alignment);
  void swap(Arena& other) noexcept {
    std::swap(cursor_, other.cursor_);
    std::swap(end_, other.end_);
    std::swap(blocks_, other.blocks_);
    std::swap(next_block_size_, other.next_block_size_);
    std::swap(reserved_bytes_, other.reserved_bytes_);
    std::swap(block_after_first_, other.block_after_first_);
  }

  char* cursor_ = nullptr;
  char* end_ = nullptr;
  Block* blocks_ = nullptr;  // newest first
  std::size_t next_block_size_ = 0;
  std::size_t reserved_bytes_ = 0;
  // The size of the second block when the first was sized by the caller;
  // 0 once taken, or for plain doubling.
  std::size_t block_after_first_ = 0;
};

}  // namespace divu
