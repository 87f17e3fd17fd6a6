#include "int_value.h"

#include "invariant.h"

namespace divu {
namespace {

// The value of `c` as a digit in any radix up to 36, or 36 when it is none.
unsigned digit_value(char c) {
  if (c >= '0' && c <= '9') {
    return static_cast<unsigned>(c - '0');
  }
  if (c >= 'a' && c <= 'z') {
    return static_cast<unsigned>(c - 'a') + 10;
  }
  if (c >= 'A' && c <= 'Z') {
    return static_cast<unsigned>(c - 'A') + 10;
  }
  return 36;
}

}  // namespace

std::string_view debug_text(IntErrorKind kind) {
  return kind == IntErrorKind::Empty ? "ParseIntError { kind: Empty }"
                                     : "ParseIntError { kind: InvalidDigit }";
}

std::expected<Int, IntErrorKind> Int::from_str_radix(
    std::string_view digits, unsigned radix, std::string_view token_text) {
  TRELK_CHECK(radix >= 2 && radix <= 36,
              "from_str_radix_int: must lie in the range `[2, 36]` - found " +
                  std::to_string(radix));
  if (digits.empty()) {
    return std::unexpected(IntErrorKind::Empty);
  }
  if (digits == "+" || digits == "-") {
    return std::unexpected(IntErrorKind::InvalidDigit);
  }
  if (digits.front() == '+') {
    digits.remove_prefix(1);
  }
  std::uint64_t value = 0;
  for (char c : digits) {
    const unsigned digit = digit_value(c);
    if (digit >= radix) {
      return std::unexpected(IntErrorKind::InvalidDigit);
    }
    if (__builtin_mul_overflow(value, radix, &value) ||
        __builtin_add_overflow(value, digit, &value)) {
      return Int::big(token_text);
    }
  }
  return Int::small(value);
}

std::expected<Int, IntErrorKind> Int::from_decimal(std::string_view text) {
  return from_str_radix(text, 10, text);
}

std::string Int::to_string() const {
  return is_big() ? std::string(big_) : std::to_string(small_);
}

}  // namespace divu
