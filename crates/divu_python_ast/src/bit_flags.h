#pragma once

namespace divu {

// A set of bits stored in `Rep`, the common shape of the token and string flag
// types. `Derived` is the flag type itself, so that the operations return it;
// each flag type names its bits as constants.
template <typename Derived, typename Rep>
class BitFlags {
 public:
  using Bits = Rep;

  constexpr BitFlags() = default;
  constexpr explicit BitFlags(Rep bits) : bits_(bits) {}

  constexpr Rep bits() const { return bits_; }
  constexpr bool is_empty() const { return bits_ == 0; }
  // True when every bit of `mask` is set.
  constexpr bool contains(Rep mask) const { return (bits_ & mask) == mask; }
  // True when any bit of `mask` is set.
  constexpr bool intersects(Rep mask) const { return (bits_ & mask) != 0; }
  constexpr Derived with(Rep mask) const {
    return Derived(static_cast<Rep>(bits_ | mask));
  }
  constexpr Derived without(Rep mask) const {
    return Derived(static_cast<Rep>(bits_ & ~mask));
  }

  friend constexpr bool operator==(BitFlags, BitFlags) = default;

 private:
  Rep bits_ = 0;
};

}  // namespace divu
