#include "iso_duration.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace trelk {
namespace {

constexpr Int128 kInt128Max =
    static_cast<Int128>((static_cast<unsigned __int128>(1) << 127) - 1);

std::string to_string(Int128 value) {
  if (value == 0) {
    return "0";
  }
  const bool negative = value < 0;
  auto magnitude = negative ? -static_cast<unsigned __int128>(value)
                            : static_cast<unsigned __int128>(value);
  std::string digits;
  while (magnitude != 0) {
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  }
  return negative ? "-" + digits : digits;
}

// The expected count in decimal, or "YearMonth".
struct ParseCase {
  std::string text;
  std::string_view expected;
};

TEST(ParseDurationTest, ConvertsComponentsInBinary64) {
  const ParseCase kCases[] = {
      {.text = "P1D", .expected = "86400000000"},
      {.text = "-P1D", .expected = "-86400000000"},
      {.text = "+PT1H30M", .expected = "5400000000"},
      {.text = "P1W2D", .expected = "777600000000"},
      {.text = "P1.5D", .expected = "129600000000"},
      {.text = "P1,5D", .expected = "129600000000"},
      {.text = "PT1M", .expected = "60000000"},
      {.text = "P0Y1D", .expected = "86400000000"},
      {.text = "P0,0M1D", .expected = "86400000000"},
      {.text = "P000Y0.000M", .expected = "0"},
      {.text = "P1Y", .expected = "YearMonth"},
      {.text = "P1M", .expected = "YearMonth"},
      {.text = "P0.5Y", .expected = "YearMonth"},
      {.text = "P1Y1000W", .expected = "YearMonth"},
      {.text = "-P0,01M", .expected = "YearMonth"},
      {.text = "P1DT", .expected = "86400000000"},
      {.text = "PT", .expected = "0"},
      {.text = "-PT", .expected = "0"},
      {.text = "P1DT2H3M4.5S", .expected = "93784500000"},
      {.text = "P1Y2M3W4DT5H6M7S", .expected = "YearMonth"},
      {.text = "P3W4DT5H6M7S", .expected = "2178367000000"},
      // The products are 0.5, 1.5 and 2.5: ties go to the even integer.
      {.text = "PT0.0000005S", .expected = "0"},
      {.text = "PT0.0000015S", .expected = "2"},
      {.text = "PT0.0000025S", .expected = "2"},
      {.text = "-PT0.0000015S", .expected = "-2"},
      // 0.000249 is not exact in binary64 and 249 µs comes out as the nearest
      // double, times 10^6, rounded.
      {.text = "PT0.000249S", .expected = "249"},
      // Too small for any double: zero, not a failure.
      {.text = "PT0." + std::string(400, '0') + "1S", .expected = "0"},
      // Beyond the 128-bit range but finite: the nearest bound.
      {.text = "P" + std::string(40, '9') + "D",
       .expected = "170141183460469231731687303715884105727"},
      {.text = "-P" + std::string(40, '9') + "D",
       .expected = "-170141183460469231731687303715884105727"},
      // Beyond exact integers: the binary64 product of 999999999 days is
      // 86399999913599991808 µs, 8192 µs short.
      {.text = "P999999999D", .expected = "86399999913599991808"},
      {.text = "P99999999999999999999W",
       .expected = "60480000000000002193414028263424"},
  };
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto result = parse_duration(c.text);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(result->kind == IsoDuration::Kind::kYearMonth
                  ? "YearMonth"
                  : to_string(result->microseconds),
              c.expected);
  }
}

TEST(ParseDurationTest, RejectsWithTheQuotedInput) {
  constexpr std::string_view kRejected[] = {
      "",       "P",     "-",       "+",      "P1",          "1D",
      "p1d",    "P1d",   "P.5D",    "P1.D",   "P1D1D",       "P1D1W",
      "P1DT1D", "P1D2",  "PTT",     "PT1H1H", "PT1S1M",      "P1M1Y",
      "--P1D",  "P-1D",  "P1DX",    "P1D ",   " P1D",        "PT1.5",
      "P1,D",   "PT,5S", "P1.5.5D", "P1 D",   "P1W\xc3\xa9", "\xc3\xa9P1D",
  };
  for (const std::string_view text : kRejected) {
    SCOPED_TRACE(text);
    const auto result = parse_duration(text);
    ASSERT_FALSE(result.has_value());
  }
  EXPECT_EQ(parse_duration("P1D2").error(),
            R"(Unable to parse duration string "P1D2")");
  EXPECT_EQ(parse_duration("P\"1\\D\t").error(),
            R"(Unable to parse duration string "P\"1\\D\t")");
  EXPECT_EQ(parse_duration("P1D\xe2\x80\x8b").error(),
            R"(Unable to parse duration string "P1D\u{200b}")");
}

TEST(ParseDurationTest, InfiniteSumIsOutOfRange) {
  for (const std::string& text :
       {"P" + std::string(400, '9') + "D", "PT" + std::string(400, '9') + ".5S",
        "-P" + std::string(309, '9') + "W"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parse_duration(text).error(), "Duration value is out of range");
  }
}

TEST(SplitTimedeltaTest, FloorsDaysAndFailsBeyond32Bits) {
  struct Case {
    Int128 microseconds;
    TimedeltaParts expected;
  };
  const Case kCases[] = {
      {.microseconds = 0, .expected = {}},
      {.microseconds = -1,
       .expected = {.days = -1, .seconds = 86399, .microseconds = 999999}},
      {.microseconds = 86400000000, .expected = {.days = 1}},
      {.microseconds = -86400000000, .expected = {.days = -1}},
      {.microseconds = 1500000,
       .expected = {.seconds = 1, .microseconds = 500000}},
      {.microseconds =
           static_cast<Int128>(INT32_MAX) * 86400000000 + 86399999999,
       .expected = {.days = INT32_MAX,
                    .seconds = 86399,
                    .microseconds = 999999}},
      {.microseconds = static_cast<Int128>(INT32_MIN) * 86400000000,
       .expected = {.days = INT32_MIN}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(to_string(c.microseconds));
    const auto result = split_timedelta(c.microseconds);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, c.expected);
  }
  const Int128 kOutOfRange[] = {
      static_cast<Int128>(INT32_MAX) * 86400000000 + 86400000000,
      static_cast<Int128>(INT32_MIN) * 86400000000 - 1,
      kInt128Max,
      -kInt128Max - 1,
  };
  for (const Int128 microseconds : kOutOfRange) {
    SCOPED_TRACE(to_string(microseconds));
    EXPECT_EQ(split_timedelta(microseconds).error(),
              "Duration value is out of range");
  }
}

// Through to the timedelta fields, as the Python function sees them, beyond
// the range where binary64 holds every microsecond.
TEST(SplitTimedeltaTest, ParsedDurationsAtTheTimedeltaLimits) {
  struct Case {
    std::string_view text;
    TimedeltaParts expected;
  };
  constexpr Case kCases[] = {
      {.text = "P999999999D",
       .expected = {.days = 999999998,
                    .seconds = 86399,
                    .microseconds = 991808}},
      {.text = "-P999999999D",
       .expected = {.days = -999999999, .seconds = 0, .microseconds = 8192}},
      {.text = "P999999999DT23H59M59.999999S",
       .expected = {.days = 999999999,
                    .seconds = 86399,
                    .microseconds = 983616}},
      {.text = "P142857142W5D",
       .expected = {.days = 999999998,
                    .seconds = 86399,
                    .microseconds = 991808}},
      {.text = "PT86399999999999S",
       .expected = {.days = 999999999, .seconds = 86399, .microseconds = 576}},
      // 2^53 µs, the end of the exact range, and one past it.
      {.text = "PT9007199254.740992S",
       .expected = {.days = 104249, .seconds = 85654, .microseconds = 740992}},
      {.text = "PT9007199254.740993S",
       .expected = {.days = 104249, .seconds = 85654, .microseconds = 740994}},
      {.text = "P24855DT3H14M7S",
       .expected = {.days = 24855, .seconds = 11647, .microseconds = 0}},
      {.text = "P2147483647D",
       .expected = {.days = 2147483646,
                    .seconds = 86399,
                    .microseconds = 991808}},
      {.text = "-P2147483648D", .expected = {.days = -2147483647 - 1}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto duration = parse_duration(c.text);
    ASSERT_TRUE(duration.has_value()) << duration.error();
    ASSERT_EQ(duration->kind, IsoDuration::Kind::kExact);
    const auto parts = split_timedelta(duration->microseconds);
    ASSERT_TRUE(parts.has_value()) << parts.error();
    EXPECT_EQ(*parts, c.expected);
  }
  for (const std::string_view text : {"P2147483648D", "-P2147483649D"}) {
    SCOPED_TRACE(text);
    const auto duration = parse_duration(text);
    ASSERT_TRUE(duration.has_value());
    EXPECT_EQ(split_timedelta(duration->microseconds).error(),
              "Duration value is out of range");
  }
}

TEST(DurationIsoformatTest, WritesTheShortestForm) {
  struct Case {
    int32_t days;
    int32_t seconds;
    int32_t microseconds;
    std::string_view text;
  };
  constexpr Case kCases[] = {
      {0, 0, 0, "P0D"},
      {1, 0, 0, "P1D"},
      {-1, 0, 0, "-P1D"},
      {0, 5, 0, "PT5S"},
      {0, 0, 500000, "PT0.5S"},
      {0, 0, 1, "PT0.000001S"},
      {0, 3600, 0, "PT1H"},
      {0, 60, 0, "PT1M"},
      {0, 61, 0, "PT1M1S"},
      {0, 3601, 10, "PT1H1.00001S"},
      {1, 3661, 0, "P1DT1H1M1S"},
      {1, 60, 0, "P1DT1M"},
      {1, 0, 1, "P1DT0.000001S"},
      {2, 7200, 120000, "P2DT2H0.12S"},
      {-1, 86399, 0, "-PT1S"},
      {0, -1, 0, "-PT1S"},
      {-1, 86400, 0, "P0D"},
      {0, 86399, 999999, "PT23H59M59.999999S"},
      {-999999999, 0, 0, "-P999999999D"},
      {999999999, 86399, 999999, "P999999999DT23H59M59.999999S"},
      {-1, 0, 1, "-PT23H59M59.999999S"},
      {0, 0, -1, "-PT0.000001S"},
      // Unnormalised fields at the 32-bit extremes need more than 64 bits.
      {INT32_MAX, INT32_MAX, INT32_MAX, "P2147508502DT3H49M54.483647S"},
      {INT32_MIN, INT32_MIN, INT32_MIN, "-P2147508503DT3H49M55.483648S"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(duration_isoformat(c.days, c.seconds, c.microseconds), c.text);
  }
}

TEST(RoundHalfEvenTest, TiesGoToTheEvenInteger) {
  struct Case {
    double value;
    double rounded;
  };
  constexpr Case kCases[] = {
      {0.5, 0.0},
      {1.5, 2.0},
      {2.5, 2.0},
      {-0.5, -0.0},
      {-1.5, -2.0},
      {2.4999, 2.0},
      {2.5001, 3.0},
      {4503599627370495.5, 4503599627370496.0},
      {4503599627370497.0, 4503599627370497.0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(round_f64_half_even(c.value), c.rounded);
  }
}

}  // namespace
}  // namespace trelk
