#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace divu {

// A stack that keeps its first N entries in place and only the rest on the
// heap. The lexer's stacks (open blocks, open f-strings) are copied into
// every checkpoint, and the parser takes one for each look-ahead; in code as
// it is written they stay shallow, so a copy is a small memcpy, never an
// allocation.
template <class T, std::size_t N>
class SmallStack {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  T& back() { return size_ <= N ? inline_[size_ - 1] : overflow_.back(); }
  const T& back() const {
    return size_ <= N ? inline_[size_ - 1] : overflow_.back();
  }
  void push_back(const T& value) {
    if (size_ < N) {
      inline_[size_] = value;
    } else {
      overflow_.push_back(value);
    }
    ++size_;
  }
  // REQUIRES: !empty().
  void pop_back() {
    if (size_ > N) {
      overflow_.pop_back();
    }
    --size_;
  }

  friend bool operator==(const SmallStack& a, const SmallStack& b) {
    return a.size_ == b.size_ && a.overflow_ == b.overflow_ &&
           std::equal(a.inline_.begin(),
                      a.inline_.begin() +
                          static_cast<std::ptrdiff_t>(std::min(a.size_, N)),
                      b.inline_.begin());
  }

 private:
  std::array<T, N> inline_{};
  std::vector<T> overflow_;
  std::size_t size_ = 0;
};

}  // namespace divu
