#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trelk {

// Searches for either of two byte values in one pass over the text, sixteen
// bytes or more at a time, as line-break searches ("\n" or "\r") need: two
// scans, one per byte, would read the text twice.

// The index of the first byte at or after `from` that equals `a` or `b`, or
// std::string_view::npos. REQUIRES: from <= text.size().
[[nodiscard]] std::size_t find_either_byte(std::string_view text,
                                           std::size_t from, char a,
                                           char b) noexcept;

// The same for any of three byte values (a string's quote and the two line
// breaks that end it).
[[nodiscard]] std::size_t find_any_of_three_bytes(std::string_view text,
                                                  std::size_t from, char a,
                                                  char b, char c) noexcept;

// The index of the last byte before `before` that equals `a` or `b`, or
// std::string_view::npos. REQUIRES: before <= text.size().
[[nodiscard]] std::size_t rfind_either_byte(std::string_view text,
                                            std::size_t before, char a,
                                            char b) noexcept;

// Calls `visit(index)` for every byte of `text` that equals `a` or `b`, in
// order, and returns whether every byte of the text is ASCII (below 0x80),
// which the same pass learns for free. Faster than repeated find_either_byte
// calls when matches are dense (a line break every few dozen bytes): no
// search restarts per match.
template <typename Visit>
bool for_each_either_byte(std::string_view text, char a, char b, Visit&& visit);

// The end of the run of ASCII word bytes ([A-Za-z0-9_]) that starts at `p`,
// at most `end`. Sixteen bytes are classified at once wherever sixteen can
// be read, so that a run of up to sixteen bytes ends without a loop whose
// exit depends on its length (a mispredicted branch per name).
[[nodiscard]] inline const char* end_of_word_bytes(const char* p,
                                                   const char* end) noexcept;

// Implementation details below.
namespace byte_search_internal {

// Sixteen bytes compared at once through the compiler's generic vectors (SSE2
// on x86-64, NEON on ARM): a lane that matches becomes 0xFF, others 0x00.
using Bytes16 = unsigned char __attribute__((vector_size(16)));
inline constexpr std::size_t kWidth = 16;

inline Bytes16 splat(char c) {
  return Bytes16{} + static_cast<unsigned char>(c);
}

inline Bytes16 load(const char* p) {
  Bytes16 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline Bytes16 matches(Bytes16 v, Bytes16 a, Bytes16 b) {
  return reinterpret_cast<Bytes16>((v == a) | (v == b));
}

inline Bytes16 matches(const char* p, Bytes16 a, Bytes16 b) {
  return matches(load(p), a, b);
}

// A match vector as two integers with the top bit of byte k set when lane k
// (of that half) matched, and no other bit.
struct Halves {
  std::uint64_t low;
  std::uint64_t high;
};

inline Halves halves(Bytes16 m) {
  constexpr std::uint64_t kTopBits = 0x8080808080808080ull;
  Halves h;
  std::memcpy(&h, &m, sizeof h);
  if constexpr (std::endian::native == std::endian::big) {
    h.low = __builtin_bswap64(h.low);
    h.high = __builtin_bswap64(h.high);
  }
  h.low &= kTopBits;
  h.high &= kTopBits;
  return h;
}

// A match vector as sixteen bits, bit k set when lane k matched.
inline std::uint64_t lane_bits(Bytes16 m) {
#if defined(__SSE2__)
  return static_cast<std::uint32_t>(
      _mm_movemask_epi8(reinterpret_cast<__m128i>(m)));
#else
  // Each half's top bits moved down to the lowest bit of their bytes, then
  // gathered into the top byte by one multiplication.
  constexpr std::uint64_t kGather = 0x0102040810204080ull;
  const Halves h = halves(m);
  return ((h.low >> 7) * kGather) >> 56 | ((h.high >> 7) * kGather) >> 56 << 8;
#endif
}

// Visits the positions `base + k` for the bits k set in `bits`, in order.
template <typename Visit>
inline void visit_bits(std::uint64_t bits, std::size_t base, Visit& visit) {
  while (bits != 0) {
    visit(base + static_cast<std::size_t>(std::countr_zero(bits)));
    bits &= bits - 1;
  }
}

}  // namespace byte_search_internal

inline const char* end_of_word_bytes(const char* p, const char* end) noexcept {
  using namespace byte_search_internal;
  while (end - p >= static_cast<std::ptrdiff_t>(kWidth)) {
    const Bytes16 v = load(p);
    // Lanes are unsigned, so each range is one subtraction and one compare.
    const auto letter = (v | splat(0x20)) - splat('a') < splat(26);
    const auto digit = v - splat('0') < splat(10);
    const auto word = letter | digit | (v == splat('_'));
    const Halves h = halves(reinterpret_cast<Bytes16>(~word));
    if (h.low != 0) {
      return p + std::countr_zero(h.low) / 8;
    }
    if (h.high != 0) {
      return p + 8 + std::countr_zero(h.high) / 8;
    }
    p += kWidth;
  }
  const auto is_word = [](unsigned char c) {
    return static_cast<unsigned>((c | 0x20) - 'a') < 26u ||
           static_cast<unsigned>(c - '0') < 10u || c == '_';
  };
  while (p < end && is_word(static_cast<unsigned char>(*p))) {
    ++p;
  }
  return p;
}

template <typename Visit>
bool for_each_either_byte(std::string_view text, char a, char b,
                          Visit&& visit) {
  using namespace byte_search_internal;
  const char* data = text.data();
  const std::size_t size = text.size();
  const Bytes16 wide_a = splat(a);
  const Bytes16 wide_b = splat(b);
  Bytes16 seen{};
  std::size_t i = 0;
  // Four vectors a step, their matches visited from one 64-bit mask: with a
  // line break every few dozen bytes, nearly every step has a match, so the
  // only branch whose outcome varies is the visiting loop's end.
  for (; i + 4 * kWidth <= size; i += 4 * kWidth) {
    const Bytes16 v0 = load(data + i);
    const Bytes16 v1 = load(data + i + kWidth);
    const Bytes16 v2 = load(data + i + 2 * kWidth);
    const Bytes16 v3 = load(data + i + 3 * kWidth);
    seen |= v0 | v1 | v2 | v3;
    const std::uint64_t bits =
        lane_bits(matches(v0, wide_a, wide_b)) |
        lane_bits(matches(v1, wide_a, wide_b)) << kWidth |
        lane_bits(matches(v2, wide_a, wide_b)) << 2 * kWidth |
        lane_bits(matches(v3, wide_a, wide_b)) << 3 * kWidth;
    visit_bits(bits, i, visit);
  }
  for (; i + kWidth <= size; i += kWidth) {
    const Bytes16 v = load(data + i);
    seen |= v;
    visit_bits(lane_bits(matches(v, wide_a, wide_b)), i, visit);
  }
  unsigned char high = 0;
  for (; i < size; ++i) {
    high |= static_cast<unsigned char>(data[i]);
    if (data[i] == a || data[i] == b) {
      visit(i);
    }
  }
  for (std::size_t lane = 0; lane < kWidth; ++lane) {
    high |= seen[lane];
  }
  return high < 0x80;
}

}  // namespace trelk
