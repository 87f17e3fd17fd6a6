#pragma once

#include <atomic>
#include <cstdint>

namespace divu {

// The node index of a syntax-tree node: an unsigned 32-bit value in a cell
// read and written atomically with relaxed ordering. The parser stores
// kNone in every node; nothing in the system assigns another value or
// interprets it. Copying copies the value read from the cell.
class AtomicNodeIndex {
 public:
  // 0xFFFFFFFE: no index assigned.
  static constexpr std::uint32_t kNone = 0xFFFFFFFEu;

  AtomicNodeIndex() = default;
  AtomicNodeIndex(const AtomicNodeIndex& other) : value_(other.load()) {}
  AtomicNodeIndex& operator=(const AtomicNodeIndex& other) {
    store(other.load());
    return *this;
  }

  std::uint32_t load() const { return value_.load(std::memory_order_relaxed); }
  void store(std::uint32_t value) {
    value_.store(value, std::memory_order_relaxed);
  }

 private:
  std::atomic<std::uint32_t> value_{kNone};
};

static_assert(sizeof(AtomicNodeIndex) == 4);

}  // namespace divu
