#include "compact_duration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace trelk {
namespace {

std::string expected_message(std::string_view text,
                             std::string_view component) {
  return "The duration '" + std::string(text) + "' contained a component '" +
         std::string(component) +
         "' that could not be parsed. Please use a valid duration, like "
         "'10m', '1h', or '1h30m'. Read more at "
         "https://docs.trelk.dev/api-docs#Duration";
}

TEST(CompactDurationTest, MessageIsQuotedAsPassed) {
  EXPECT_EQ(parse_duration_ms("5m3x2h").error(),
            "The duration '5m3x2h' contained a component '3x2h' that could not "
            "be parsed. Please use a valid duration, like '10m', '1h', or "
            "'1h30m'. Read more at https://docs.trelk.dev/api-docs#Duration");
}

struct ParseCase {
  std::string_view text;
  int64_t ms;
};

TEST(CompactDurationTest, ParsesValidTexts) {
  constexpr ParseCase kCases[] = {
      {.text = "", .ms = 0},
      {.text = "all", .ms = 3'153'600'000'000},
      {.text = "infinity", .ms = 3'153'600'000'000},
      {.text = "1h30m", .ms = 5'400'000},
      {.text = "30m1h", .ms = 5'400'000},
      {.text = "1h 30m", .ms = 5'400'000},
      {.text = " 1h", .ms = 3'600'000},
      {.text = "1h ", .ms = 3'600'000},
      {.text = "-1h", .ms = -3'600'000},
      {.text = "- 1h", .ms = -3'600'000},
      {.text = "5ms", .ms = 5},
      {.text = "1w2d3h4m5s6ms", .ms = 788'645'006},
      {.text = "6ms5s4m3h2d1w", .ms = 788'645'006},
      {.text = "9223372036854775807ms", .ms = 9'223'372'036'854'775'807},
      {.text = "-9223372036854775807ms", .ms = -9'223'372'036'854'775'807},
      {.text = "007s", .ms = 7'000},
      {.text = "3d", .ms = 259'200'000},
      {.text = "4d", .ms = 345'600'000},
  };
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto result = parse_duration_ms(c.text);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, c.ms);
  }
}

struct FailCase {
  std::string_view text;
  // The component the message names; empty means the whole input.
  std::string_view component;
};

TEST(CompactDurationTest, RefusesInvalidTexts) {
  constexpr FailCase kCases[] = {
      {.text = "+1h", .component = "+1h"},
      {.text = "1H", .component = "1H"},
      {.text = "5min", .component = "5min"},
      {.text = "5mss", .component = "5mss"},
      {.text = "5m3x2h", .component = "3x2h"},
      {.text = "5m 5m", .component = "5m"},
      {.text = "1d-5m", .component = "-5m"},
      {.text = "10m,", .component = ","},
      {.text = "5 m", .component = "5 m"},
      {.text = "-5", .component = "5"},
      {.text = " -5m", .component = "-5m"},
      {.text = "0", .component = "0"},
      {.text = "1e3s", .component = "1e3s"},
      {.text = "99999999999999999999s", .component = "99999999999999999999"},
      {.text = "5m \u00b5", .component = "\u00b5"},
      {.text = "5m 3x \u3000", .component = "3x"},
      {.text = "--1h", .component = "-1h"},
      {.text = "1ALL", .component = "1ALL"},
      {.text = "All", .component = "All"},
      // Products and sums that leave the signed 64-bit range fail, naming the
      // component where that happens, instead of wrapping.
      {.text = "9223372036854775807s", .component = "9223372036854775807s"},
      {.text = "1s 9223372036854775807ms",
       .component = "9223372036854775807ms"},
      {.text = "-15250284453w", .component = "15250284453w"},
      {.text = "1d-", .component = "-"},
      // Nothing to read: the whole input is named twice.
      {.text = "-", .component = ""},
      {.text = "   ", .component = ""},
      {.text = "\t\u2028", .component = ""},
      {.text = "- ", .component = ""},
  };
  for (const FailCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto result = parse_duration_ms(c.text);
    ASSERT_FALSE(result.has_value()) << *result;
    EXPECT_EQ(
        result.error(),
        expected_message(c.text, c.component.empty() ? c.text : c.component));
    EXPECT_EQ(parse_duration_s(c.text).error(), result.error());
  }
}

TEST(CompactDurationTest, SecondsTruncateTowardZero) {
  constexpr ParseCase kCases[] = {
      {.text = "1500ms", .ms = 1},   {.text = "-1500ms", .ms = -1},
      {.text = "999ms", .ms = 0},    {.text = "-999ms", .ms = 0},
      {.text = "1h30m", .ms = 5400}, {.text = "infinity", .ms = 3'153'600'000},
  };
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_duration_s(c.text), c.ms);
  }
}

struct FormatCase {
  double seconds;
  std::string_view text;
};

TEST(CompactDurationTest, FormatsSeconds) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const FormatCase kCases[] = {
      {.seconds = 5400, .text = "1h30m"},
      {.seconds = 90061.5, .text = "1d1h1m1s500ms"},
      {.seconds = 59.5, .text = "59s500ms"},
      {.seconds = 0.0005, .text = "1ms"},
      {.seconds = 1.9996, .text = "1s1000ms"},
      {.seconds = -3600, .text = "-1h"},
      {.seconds = -0.0001, .text = "-"},
      {.seconds = 0, .text = ""},
      {.seconds = -0.0, .text = ""},
      {.seconds = std::nan(""), .text = ""},
      {.seconds = 3153600000, .text = "infinity"},
      {.seconds = kInf, .text = "infinity"},
      {.seconds = 3153599999.5, .text = "36499d23h59m59s500ms"},
      {.seconds = -10000000000, .text = "-115740d17h46m40s"},
      {.seconds = 86400, .text = "1d"},
      {.seconds = 0.0025, .text = "3ms"},
      // Past 2^64 seconds the whole part saturates and the rest of the
      // magnitude, far too large for milliseconds, saturates as well.
      {.seconds = -kInf,
       .text = "-213503982334601d7h15s18446744073709551615ms"},
  };
  for (const FormatCase& c : kCases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(seconds_to_duration_string(c.seconds), c.text);
  }
}

}  // namespace
}  // namespace trelk
