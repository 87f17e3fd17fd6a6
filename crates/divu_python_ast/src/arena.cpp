#include "arena.h"

#include <algorithm>
#include <cstring>

namespace divu {
namespace {

// 4 KiB: a small file's tree fits in the first block.
constexpr std::size_t kFirstBlockSize = std::size_t{4} << 10;
// 1 MiB: blocks double up to this size, so that a large file needs few
// blocks while the unused tail of the last one stays bounded.
constexpr std::size_t kMaxBlockSize = std::size_t{1} << 20;

}  // namespace

struct alignas(std::max_align_t) Arena::Block {
  Block* next;
  std::size_t size;  // bytes after the header
};

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

void* Arena::allocate_slow(std::size_t size) {
  // A fresh block starts aligned to max_align_t (its header is), so no
  // allocation needs padding at its start.
  std::size_t block_size =
      next_block_size_ == 0 ? kFirstBlockSize : next_block_size_;
  next_block_size_ = std::min(block_size * 2, kMaxBlockSize);
  // An allocation larger than a block gets a block of its own; the current
  // block stays the one to bump from when it has more room left.
  const bool oversized = size > block_size;
  if (oversized) {
    block_size = size;
  }
  void* memory = ::operator new(sizeof(Block) + block_size);
  reserved_bytes_ += sizeof(Block) + block_size;
  Block* block = ::new (memory) Block{.next = nullptr, .size = block_size};
  char* start = reinterpret_cast<char*>(block + 1);
  if (oversized && blocks_ != nullptr) {
    // Keep the current block on top: link the big one behind it.
    block->next = blocks_->next;
    blocks_->next = block;
    return start;
  }
  block->next = blocks_;
  blocks_ = block;
  cursor_ = start + size;
  end_ = start + block_size;
  return start;
}

}  // namespace divu
