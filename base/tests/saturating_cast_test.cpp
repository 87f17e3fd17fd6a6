#include "saturating_cast.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace trelk {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

using Int128 = __int128;
constexpr Int128 kInt128Max =
    static_cast<Int128>((static_cast<unsigned __int128>(1) << 127) - 1);
constexpr Int128 kInt128Min = -kInt128Max - 1;

template <typename Int>
struct Case {
  double value;
  Int expected;
};

template <typename Int>
void check(const Case<Int>* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(std::to_string(cases[i].value));
    EXPECT_TRUE(saturating_cast<Int>(cases[i].value) == cases[i].expected);
  }
}

TEST(SaturatingCastTest, Int32) {
  constexpr Case<int32_t> kCases[] = {
      {.value = 1.9, .expected = 1},
      {.value = -1.9, .expected = -1},
      {.value = 2147483647.0, .expected = 2147483647},
      {.value = 2147483647.9, .expected = 2147483647},
      {.value = 2147483648.0, .expected = 2147483647},
      {.value = -2147483648.0, .expected = -2147483647 - 1},
      {.value = -2147483649.0, .expected = -2147483647 - 1},
      {.value = kInf, .expected = 2147483647},
      {.value = -kInf, .expected = -2147483647 - 1},
      {.value = kNan, .expected = 0},
  };
  check(kCases, std::size(kCases));
}

TEST(SaturatingCastTest, Uint64) {
  constexpr Case<uint64_t> kCases[] = {
      {.value = 0.0, .expected = 0},
      {.value = -0.5, .expected = 0},
      {.value = -1e300, .expected = 0},
      {.value = 18446744073709549568.0, .expected = 18446744073709549568u},
      {.value = 18446744073709551616.0, .expected = UINT64_MAX},
      {.value = kInf, .expected = UINT64_MAX},
      {.value = kNan, .expected = 0},
  };
  check(kCases, std::size(kCases));
}

TEST(SaturatingCastTest, Int128) {
  // 2^127 is the first double beyond the range; the largest double below it
  // is 2^127 - 2^74.
  constexpr double kTwo127 = 170141183460469231731687303715884105728.0;
  const Case<Int128> kCases[] = {
      {.value = kTwo127, .expected = kInt128Max},
      {.value = 1e40, .expected = kInt128Max},
      {.value = kTwo127 - 18889465931478580854784.0,
       .expected = kInt128Max - (static_cast<Int128>(1) << 74) + 1},
      {.value = -kTwo127, .expected = kInt128Min},
      {.value = -1e300, .expected = kInt128Min},
      {.value = 86399999913599991808.0,
       .expected = static_cast<Int128>(999999998) * 86400000000 + 86399991808},
      {.value = kNan, .expected = 0},
  };
  check(kCases, std::size(kCases));
}

}  // namespace
}  // namespace trelk
