#include "int_value.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "invariant.h"

namespace divu {
namespace {

struct RadixCase {
  std::string_view digits;
  unsigned radix;
  std::string_view token_text;
  std::optional<IntErrorKind> error = {};
  std::string_view display = {};  // when no error
  bool big = false;
};

constexpr RadixCase kRadixCases[] = {
    {.digits = "ff", .radix = 16, .token_text = "0xff", .display = "255"},
    {.digits = "FfF", .radix = 16, .token_text = "0xFfF", .display = "4095"},
    {.digits = "+101", .radix = 2, .token_text = "0b101", .display = "5"},
    {.digits = "",
     .radix = 16,
     .token_text = "0x",
     .error = IntErrorKind::Empty},
    {.digits = "+",
     .radix = 10,
     .token_text = "+",
     .error = IntErrorKind::InvalidDigit},
    {.digits = "-",
     .radix = 10,
     .token_text = "-",
     .error = IntErrorKind::InvalidDigit},
    {.digits = "-1",
     .radix = 10,
     .token_text = "-1",
     .error = IntErrorKind::InvalidDigit},
    {.digits = "19",
     .radix = 8,
     .token_text = "0o19",
     .error = IntErrorKind::InvalidDigit},
    {.digits = "zz", .radix = 36, .token_text = "zz", .display = "1295"},
    {.digits = "ffffffffffffffff",
     .radix = 16,
     .token_text = "0xffff_ffff_ffff_ffff",
     .display = "18446744073709551615"},
    // Seventeen digits overflow: the whole token text is kept.
    {.digits = "fffffffffffffffff",
     .radix = 16,
     .token_text = "0xf_ffff_ffff_ffff_ffff",
     .display = "0xf_ffff_ffff_ffff_ffff",
     .big = true},
    // Digits after the overflow are not examined.
    {.digits = "fffffffffffffffffz",
     .radix = 16,
     .token_text = "0xfffffffffffffffffz",
     .display = "0xfffffffffffffffffz",
     .big = true},
    {.digits = "18446744073709551615",
     .radix = 10,
     .token_text = "18446744073709551615",
     .display = "18446744073709551615"},
    {.digits = "18446744073709551616",
     .radix = 10,
     .token_text = "18446744073709551616",
     .display = "18446744073709551616",
     .big = true},
};

TEST(IntTest, FromStrRadix) {
  for (const RadixCase& c : kRadixCases) {
    SCOPED_TRACE(c.token_text);
    const auto value = Int::from_str_radix(c.digits, c.radix, c.token_text);
    if (c.error) {
      ASSERT_FALSE(value.has_value());
      EXPECT_EQ(value.error(), *c.error);
      continue;
    }
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->to_string(), c.display);
    EXPECT_EQ(value->is_big(), c.big);
  }
}

TEST(IntTest, DecimalBoundaryOfSixtyFourBits) {
  const auto max = Int::from_decimal("18446744073709551615");
  ASSERT_TRUE(max.has_value());
  EXPECT_TRUE(max->is_small());
  EXPECT_EQ(max->small_value(), 18446744073709551615ull);

  const auto over = Int::from_decimal("18446744073709551616");
  ASSERT_TRUE(over.has_value());
  EXPECT_TRUE(over->is_big());
  EXPECT_EQ(over->big_text(), "18446744073709551616");
  EXPECT_EQ(over->to_string(), "18446744073709551616");
}

TEST(IntTest, ErrorDebugTextsAndRadixMisuse) {
  EXPECT_EQ(debug_text(IntErrorKind::Empty), "ParseIntError { kind: Empty }");
  EXPECT_EQ(debug_text(IntErrorKind::InvalidDigit),
            "ParseIntError { kind: InvalidDigit }");
  EXPECT_THROW((void)Int::from_str_radix("1", 37, "1"),
               trelk::InvariantFailure);
  EXPECT_THROW((void)Int::from_str_radix("1", 1, "1"), trelk::InvariantFailure);
}

}  // namespace
}  // namespace divu
