#include "byte_search.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace trelk {
namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

// The high bit of every byte of `word` that is zero, and no other bit. The
// exact form, not the shorter one with a borrow: a backward search reads the
// highest flagged byte, which a borrow could flag falsely.
constexpr std::uint64_t zero_bytes(std::uint64_t word) {
  return ~(((word & kLow7) + kLow7) | word | kLow7);
}

// The high bit of every byte of `word` that equals `a` or `b`.
constexpr std::uint64_t matching_bytes(std::uint64_t word, std::uint64_t a,
                                       std::uint64_t b) {
  return zero_bytes(word ^ a) | zero_bytes(word ^ b);
}

std::uint64_t load(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  return word;
}

constexpr std::uint64_t broadcast(char c) {
  return kOnes * static_cast<unsigned char>(c);
}

}  // namespace

std::size_t find_either_byte(std::string_view text, std::size_t from, char a,
                             char b) noexcept {
  const char* data = text.data();
  const std::size_t size = text.size();
  const std::uint64_t wide_a = broadcast(a);
  const std::uint64_t wide_b = broadcast(b);
  std::size_t i = from;
  for (; i + 8 <= size; i += 8) {
    // Byte k of the text is byte k of the little-endian word.
    const std::uint64_t found = matching_bytes(load(data + i), wide_a, wide_b);
    if (found != 0) {
      return i + static_cast<std::size_t>(std::countr_zero(found)) / 8;
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
  const std::uint64_t wide_a = broadcast(a);
  const std::uint64_t wide_b = broadcast(b);
  std::size_t i = before;
  for (; i >= 8; i -= 8) {
    const std::uint64_t found =
        matching_bytes(load(data + i - 8), wide_a, wide_b);
    if (found != 0) {
      return i - 1 - static_cast<std::size_t>(std::countl_zero(found)) / 8;
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
