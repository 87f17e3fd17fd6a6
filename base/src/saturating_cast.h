#pragma once

#include <cmath>
#include <type_traits>

namespace trelk {

namespace saturating_detail {

// 2^bits as a double; exact for every width used here (up to 128).
constexpr double power_of_two(int bits) {
  double value = 1.0;
  for (int i = 0; i < bits; ++i) {
    value *= 2.0;
  }
  return value;
}

}  // namespace saturating_detail

// Converts `value` to the integer type `Int` the way a checked numeric cast
// should: the fraction is truncated toward zero, values beyond the type's range
// become its nearest bound, and NaN becomes 0. A plain static_cast of an
// out-of-range double is undefined behaviour, so every float-to-integer
// conversion in the project goes through here. `Int` may be __int128 or
// unsigned __int128, which std::numeric_limits does not describe in strict
// C++ mode, so the bounds are derived from the width and signedness.
template <typename Int>
[[nodiscard]] constexpr Int saturating_cast(double value) noexcept {
  static_assert(std::is_same_v<Int, __int128> ||
                    std::is_same_v<Int, unsigned __int128> ||
                    std::is_integral_v<Int>,
                "saturating_cast converts to integer types only");
  constexpr bool kSigned = static_cast<Int>(-1) < static_cast<Int>(0);
  constexpr int kBits = static_cast<int>(sizeof(Int)) * 8;
  // Int's maximum is 2^(bits-1)-1 (signed) or 2^bits-1 (unsigned); the
  // first double at or above it that is out of range is 2^(bits-1) or 2^bits.
  constexpr double kUpper =
      saturating_detail::power_of_two(kSigned ? kBits - 1 : kBits);
  constexpr double kLower = kSigned ? -kUpper : 0.0;
  constexpr Int kMax =
      kSigned ? static_cast<Int>(~(static_cast<Int>(1) << (kBits - 1)))
              : static_cast<Int>(~static_cast<Int>(0));
  constexpr Int kMin = kSigned ? static_cast<Int>(-kMax - 1) : Int{0};
  if (std::isnan(value)) {
    return Int{0};
  }
  if (value >= kUpper) {
    return kMax;
  }
  if (value <= kLower) {
    return kMin;
  }
  return static_cast<Int>(value);
}

}  // namespace trelk
