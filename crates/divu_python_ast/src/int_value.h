#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace divu {

// Why the text of an integer could not be read.
enum class IntErrorKind : std::uint8_t { Empty, InvalidDigit };

// The debug form of an integer-parse error, which the lexer reports as a
// message: "ParseIntError { kind: Empty }".
std::string_view debug_text(IntErrorKind kind);

// The value of an integer literal: a `Small` unsigned 64-bit value, or a `Big`
// one kept only as text when it does not fit in 64 bits (no numeric value is
// computed for it). A plain value, trivially copyable, so that syntax-tree
// nodes can hold it.
//
// Lifetime: a `Big` value views its text, it does not copy it. The text is
// the one passed to the constructing operation (see below), which must
// outlive the value; text built on the fly belongs in the parse's arena.
class Int {
 public:
  constexpr Int() = default;
  static constexpr Int small(std::uint64_t value) {
    Int result;
    result.small_ = value;
    return result;
  }
  // REQUIRES: `text` is not empty.
  static constexpr Int big(std::string_view text) {
    Int result;
    result.big_ = text;
    return result;
  }

  // Reads `digits` in `radix`, most significant first: one leading "+" is
  // skipped, then every character must be a digit of the radix ("a" to "z"
  // and "A" to "Z" count 10 to 35). An empty text is `Empty`, a lone sign or
  // any other character `InvalidDigit`. When the value would exceed 2^64 - 1
  // the result is `Big` viewing `token_text` (the literal's whole source,
  // prefix and underscores included), and the digits after the one that
  // overflowed are not examined. REQUIRES: 2 <= radix <= 36; otherwise a
  // broken invariant.
  [[nodiscard]] static std::expected<Int, IntErrorKind> from_str_radix(
      std::string_view digits, unsigned radix, std::string_view token_text);

  // The same rules in radix 10; an overflowing value is `Big` viewing `text`.
  [[nodiscard]] static std::expected<Int, IntErrorKind> from_decimal(
      std::string_view text);

  constexpr bool is_small() const { return big_.empty(); }
  constexpr bool is_big() const { return !big_.empty(); }
  // REQUIRES: is_small().
  constexpr std::uint64_t small_value() const { return small_; }
  // REQUIRES: is_big().
  constexpr std::string_view big_text() const { return big_; }

  // Decimal digits of a `Small`; the text of a `Big`.
  std::string to_string() const;

  friend constexpr bool operator==(const Int&, const Int&) = default;

 private:
  std::uint64_t small_ = 0;
  std::string_view big_;
};

}  // namespace divu
