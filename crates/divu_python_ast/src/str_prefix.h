#pragma once

#include <cstdint>
#include <string_view>

namespace divu {

// The kind of a string literal's prefix.
enum class StringPrefixKind : std::uint8_t {
  Bytes = 0,
  Format = 1,
  Template = 2,
  Regular = 3,
};

// The variant of a prefix within its kind. `Bytes`, `Format` and `Template`
// take `RawLower`, `RawUpper` or `Plain`; `Regular` takes `RawLower`,
// `RawUpper`, `Empty` (no prefix) or `Unicode`.
enum class StringPrefixVariant : std::uint8_t {
  RawLower = 0,
  RawUpper = 1,
  Plain = 2,
  Empty = 2,
  Unicode = 3,
};

// The prefix of any string literal: a kind and a variant of that kind.
struct AnyStringPrefix {
  StringPrefixKind kind = StringPrefixKind::Regular;
  StringPrefixVariant variant = StringPrefixVariant::Empty;

  friend constexpr bool operator==(AnyStringPrefix, AnyStringPrefix) = default;
};

// The canonical spelling of `prefix`: the raw letter first, then the kind
// letter in lower case ("Rb", "rf", "t", "u", or empty for no prefix).
// REQUIRES: the variant belongs to the kind.
std::string_view display_text(AnyStringPrefix prefix);

}  // namespace divu
