#include "arena.h"

#include <algorithm>
#include <cstring>

namespace divu {
namespace {

// 4 KiB: a small file's tree fits in the first block.
constexpr std::size_t kFirstBlockSize = std::size_t{4} << 10;
// 64 MiB: a first block sized by the caller stays below this, so that a
// wrong estimate for a huge text cannot reserve far more than it needs.
constexpr std::size_t kMaxFirstBlockSize = std::size_t{64} << 20;
// 1 MiB: blocks double up to this size, so that a large file needs few
// blocks while the unused tail of the last one stays bounded.
constexpr std::size_t kMaxBlockSize = std::size_t{1} << 20;

}  // namespace

struct alignas(std::max_align_t) Arena::Block {
  Block* next;
  std::size_t size;  // bytes after the header
};

Arena::Arena(std::size_t expected_bytes)
    : next_block_size_(
          std::clamp(expected_bytes, kFirstBlockSize, kMaxFirstBlockSize)),
      block_after_first_(
          std::clamp(next_block_size_ / 4, kFirstBlockSize, kMaxBlockSize)) {}

Arena::~Arena() {
  Block* block = blocks_;
  while (block != nullptr) {
    Block* next = block->next;
    ::operator delete(block);
    block = next;
  }
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
  void* memory = ::operator new(sizeof(Block) + block_size);
  reserved_bytes_ += sizeof(Block) + block_size;
  Block* block = ::new (memory) Block{.next = nullptr, .size = block_size};
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
