#include "byte_search.h"

namespace trelk {

using namespace byte_search_internal;

std::size_t find_either_byte(std::string_view text, std::size_t from, char a,
                             char b) noexcept {
  const char* data = text.data();
  const std::size_t size = text.size();
  const Bytes16 wide_a = splat(a);
  const Bytes16 wide_b = splat(b);
  std::size_t i = from;
  for (; i + kWidth <= size; i += kWidth) {
    const Halves h = halves(matches(data + i, wide_a, wide_b));
    if (h.low != 0) {
      return i + static_cast<std::size_t>(std::countr_zero(h.low)) / 8;
    }
    if (h.high != 0) {
      return i + 8 + static_cast<std::size_t>(std::countr_zero(h.high)) / 8;
    }
  }
  for (; i < size; ++i) {
    if (data[i] == a || data[i] == b) {
      return i;
    }
  }
  return std::string_view::npos;
}

std::size_t rfind_either_byte(std::string_view text, std::size_t before, char a,
                              char b) noexcept {
  const char* data = text.data();
  const Bytes16 wide_a = splat(a);
  const Bytes16 wide_b = splat(b);
  std::size_t i = before;
  for (; i >= kWidth; i -= kWidth) {
    const Halves h = halves(matches(data + i - kWidth, wide_a, wide_b));
    if (h.high != 0) {
      return i - 1 - static_cast<std::size_t>(std::countl_zero(h.high)) / 8;
    }
    if (h.low != 0) {
      return i - 9 - static_cast<std::size_t>(std::countl_zero(h.low)) / 8;
    }
  }
  while (i > 0) {
    --i;
    if (data[i] == a || data[i] == b) {
      return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace trelk
