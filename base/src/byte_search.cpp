#include "byte_search.h"

namespace trelk {

using namespace byte_search_internal;

namespace {

// The forward search for any of `bytes`, sixteen bytes at a time.
template <std::size_t N>
std::size_t find_any(std::string_view text, std::size_t from,
                     const char (&bytes)[N]) noexcept {
  const char* data = text.data();
  const std::size_t size = text.size();
  Bytes16 wide[N];
  for (std::size_t k = 0; k < N; ++k) {
    wide[k] = splat(bytes[k]);
  }
  std::size_t i = from;
  for (; i + kWidth <= size; i += kWidth) {
    const Bytes16 v = load(data + i);
    Bytes16 m = v == wide[0];
    for (std::size_t k = 1; k < N; ++k) {
      m |= reinterpret_cast<Bytes16>(v == wide[k]);
    }
    const Halves h = halves(m);
    if (h.low != 0) {
      return i + static_cast<std::size_t>(std::countr_zero(h.low)) / 8;
    }
    if (h.high != 0) {
      return i + 8 + static_cast<std::size_t>(std::countr_zero(h.high)) / 8;
    }
  }
  for (; i < size; ++i) {
    for (char byte : bytes) {
      if (data[i] == byte) {
        return i;
      }
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::size_t find_either_byte(std::string_view text, std::size_t from, char a,
                             char b) noexcept {
  const char bytes[] = {a, b};
  return find_any(text, from, bytes);
}

std::size_t find_any_of_three_bytes(std::string_view text, std::size_t from,
                                    char a, char b, char c) noexcept {
  const char bytes[] = {a, b, c};
  return find_any(text, from, bytes);
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
