#include "isodate.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace trelk {
namespace {

using namespace std::string_view_literals;
using Kind = IsoTz::Kind;

constexpr IsoDate date(uint32_t year, uint8_t month, uint8_t day) {
  return {.year = year, .month = month, .day = day};
}

struct DateCase {
  std::string_view text;
  IsoDate expected;
};

TEST(ParseDateTest, ReadsEachForm) {
  constexpr DateCase kCases[] = {
      {.text = "20", .expected = date(2001, 1, 1)},
      {.text = "00", .expected = date(1, 1, 1)},
      {.text = "2024", .expected = date(2024, 1, 1)},
      {.text = "0000", .expected = date(0, 1, 1)},
      {.text = "202403", .expected = date(2024, 3, 1)},
      {.text = "2024-03", .expected = date(2024, 3, 1)},
      {.text = "20240315", .expected = date(2024, 3, 15)},
      {.text = "2024-03-15", .expected = date(2024, 3, 15)},
      {.text = "2024-13-45", .expected = date(2024, 13, 45)},
      {.text = "2024-00-00", .expected = date(2024, 0, 0)},
      // Ordinal dates.
      {.text = "2024001", .expected = date(2024, 1, 1)},
      {.text = "2024366", .expected = date(2024, 12, 31)},
      {.text = "2024-075", .expected = date(2024, 3, 15)},
      {.text = "2023-365", .expected = date(2023, 12, 31)},
      {.text = "2000-366", .expected = date(2000, 12, 31)},
      {.text = "0000-366", .expected = date(0, 12, 31)},
      // Week dates; week 1 holds 4 January.
      {.text = "2024W05", .expected = date(2024, 1, 29)},
      {.text = "2024-W05", .expected = date(2024, 1, 29)},
      {.text = "2024W053", .expected = date(2024, 1, 31)},
      {.text = "2024-W05-3", .expected = date(2024, 1, 31)},
      {.text = "2020-W01-1", .expected = date(2019, 12, 30)},
      {.text = "2021-W53-1", .expected = date(2022, 1, 3)},
      {.text = "2020-W53-7", .expected = date(2021, 1, 3)},
      {.text = "0000-W01-1", .expected = date(0, 1, 3)},
      {.text = "9999-W53-7", .expected = date(10000, 1, 9)},
  };
  for (const DateCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto result = parse_date(c.text);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, c.expected);
  }
}

TEST(ParseDateTest, RejectsWithTheQuotedInput) {
  constexpr std::string_view kRejected[] = {
      "",           "202",      "20245",       "2024-1-1", "+2024-01-01",
      "2024/03/15", "2024-000", "2024-367",    "2023366",  "2024000",
      "2024W00",    "2024W54",  "2024W541",    "2024W058", "2024-W05-0",
      "2024-W5-1",  "2024w05",  "2024-W05-31", "20x4",     "２０２４",
  };
  for (const std::string_view text : kRejected) {
    SCOPED_TRACE(text);
    const auto result = parse_date(text);
    ASSERT_FALSE(result.has_value());
  }
  struct MessageCase {
    std::string_view text;
    std::string_view message;
  };
  constexpr MessageCase kMessages[] = {
      {.text = "2024/03/15",
       .message = R"(Unrecognised ISO 8601 date format: "2024/03/15")"},
      {.text = "a\"b\\\t\0"sv,
       .message = R"(Unrecognised ISO 8601 date format: "a\"b\\\t\0")"},
      {.text = "2024-01-0\xcc\x81",
       .message = R"(Unrecognised ISO 8601 date format: "2024-01-0\u{301}")"},
      {.text = "\xc3\xa9t\xc3\xa9",
       .message = "Unrecognised ISO 8601 date format: \"\xc3\xa9t\xc3\xa9\""},
  };
  for (const MessageCase& c : kMessages) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_date(c.text).error(), c.message);
  }
}

IsoTz fixed(std::string_view name, int32_t offset_seconds) {
  return {.kind = Kind::kFixed,
          .name = std::string(name),
          .offset_seconds = offset_seconds};
}

const IsoTz kUtc{.kind = Kind::kUtc};
const IsoTz kNaive{};

struct TimeCase {
  std::string_view text;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint32_t microsecond = 0;
  IsoTz tz{};
};

TEST(ParseTimeTest, ReadsFormsFractionsAndZones) {
  const TimeCase kCases[] = {
      {.text = "12:34:56",
       .hour = 12,
       .minute = 34,
       .second = 56,
       .tz = kNaive},
      {.text = "T12:34:56.789Z",
       .hour = 12,
       .minute = 34,
       .second = 56,
       .microsecond = 789000,
       .tz = kUtc},
      {.text = "123456,5+01:00",
       .hour = 12,
       .minute = 34,
       .second = 56,
       .microsecond = 500000,
       .tz = fixed("+01:00", 3600)},
      {.text = "12:30", .hour = 12, .minute = 30},
      {.text = "1230", .hour = 12, .minute = 30},
      {.text = "12", .hour = 12},
      {.text = "12.5", .hour = 12, .minute = 30},
      {.text = "12:30.5", .hour = 12, .minute = 30, .second = 30},
      {.text = "1230,25-0530",
       .hour = 12,
       .minute = 30,
       .second = 15,
       .tz = fixed("-0530", -19800)},
      {.text = "12.99999999",
       .hour = 12,
       .minute = 59,
       .second = 59,
       .microsecond = 999964},
      // Rounding is not carried into the second.
      {.text = "12.9999999999",
       .hour = 12,
       .minute = 59,
       .second = 59,
       .microsecond = 1000000},
      // Ties go to the even microsecond: 4.5 and 13.5.
      {.text = "00.00000000125", .microsecond = 4},
      {.text = "00.00000000375", .microsecond = 14},
      {.text = "00.000000001251", .microsecond = 5},
      // Decimal, not binary: a double makes .000249 s 248 µs.
      {.text = "00:00:00.000249", .microsecond = 249},
      {.text = "00:00.0000041500", .microsecond = 249},
      {.text = "12:34:56.1234567",
       .hour = 12,
       .minute = 34,
       .second = 56,
       .microsecond = 123456},
      {.text = "12:34:56.5000000000000000000000000000000000",
       .hour = 12,
       .minute = 34,
       .second = 56,
       .microsecond = 500000},
      // Only 38 digits count: a 39th digit cannot break the tie.
      {.text = "00.000000001250000000000000000000000000001", .microsecond = 4},
      {.text = "00.00000000125000000000000000000000000001", .microsecond = 5},
      {.text = "12Z", .hour = 12, .tz = kUtc},
      {.text = "12z", .hour = 12, .tz = kUtc},
      {.text = "99:99:99", .hour = 99, .minute = 99, .second = 99},
      {.text = "12:00-00:00", .hour = 12, .tz = fixed("-00:00", 0)},
      {.text = "12+23", .hour = 12, .tz = fixed("+23", 82800)},
      {.text = "12-2359", .hour = 12, .tz = fixed("-2359", -86340)},
      // hh:mm:ss does not fit, so hh:mm takes the zone.
      {.text = "12:34+05:30",
       .hour = 12,
       .minute = 34,
       .tz = fixed("+05:30", 19800)},
  };
  for (const TimeCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto result = parse_time(c.text);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, (IsoTime{.hour = c.hour,
                                .minute = c.minute,
                                .second = c.second,
                                .microsecond = c.microsecond,
                                .tz = c.tz}));
  }
}

TEST(ParseTimeTest, RejectsWithTheQuotedInput) {
  struct Case {
    std::string_view text;
    std::string_view message;
  };
  constexpr Case kCases[] = {
      {.text = "", .message = R"(Unrecognised ISO 8601 time format: "")"},
      {.text = "T", .message = R"(Unrecognised ISO 8601 time format: "T")"},
      {.text = "TT12",
       .message = R"(Unrecognised ISO 8601 time format: "TT12")"},
      {.text = "9:30",
       .message = R"(Unrecognised ISO 8601 time format: "9:30")"},
      {.text = "12:3",
       .message = R"(Unrecognised ISO 8601 time format: "12:3")"},
      {.text = "12345",
       .message = R"(Unrecognised ISO 8601 time format: "12345")"},
      {.text = "1234567",
       .message = R"(Unrecognised ISO 8601 time format: "1234567")"},
      {.text = "12:34:56.",
       .message = R"(Unrecognised ISO 8601 time format: "12:34:56.")"},
      {.text = "12:34:56.5 ",
       .message = R"(Unrecognised ISO 8601 time format: "12:34:56.5 ")"},
      {.text = "12+24",
       .message = R"(Unrecognised ISO 8601 time format: "12+24")"},
      {.text = "12+2360",
       .message = R"(Unrecognised ISO 8601 time format: "12+2360")"},
      {.text = "12+0060",
       .message = R"(Unrecognised ISO 8601 time format: "12+0060")"},
      {.text = "12+1",
       .message = R"(Unrecognised ISO 8601 time format: "12+1")"},
      {.text = "12+01:0",
       .message = R"(Unrecognised ISO 8601 time format: "12+01:0")"},
      {.text = "12ZZ",
       .message = R"(Unrecognised ISO 8601 time format: "12ZZ")"},
      {.text = "t12", .message = R"(Unrecognised ISO 8601 time format: "t12")"},
      {.text = "12:00\n",
       .message = R"(Unrecognised ISO 8601 time format: "12:00\n")"},
      {.text = "12:00\xc2\xa0",
       .message = R"(Unrecognised ISO 8601 time format: "12:00\u{a0}")"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto result = parse_time(c.text);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), c.message);
  }
}

TEST(MonthNumberTest, NamesIgnoreCaseAndTrailingCommas) {
  struct Case {
    std::string_view token;
    std::optional<uint8_t> month;
  };
  const Case kCases[] = {
      {.token = "jan", .month = 1},
      {.token = "JANUARY", .month = 1},
      {.token = "Feb,", .month = 2},
      {.token = "march,,", .month = 3},
      {.token = "may", .month = 5},
      {.token = "Sept", .month = 9},
      {.token = "sep", .month = 9},
      {.token = "september", .month = 9},
      {.token = "Dec", .month = 12},
      {.token = "december", .month = 12},
      {.token = "ja", .month = std::nullopt},
      {.token = "janu", .month = std::nullopt},
      {.token = ",jan", .month = std::nullopt},
      {.token = "", .month = std::nullopt},
      {.token = "mayo", .month = std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.token);
    EXPECT_EQ(month_number(c.token), c.month);
  }
}

constexpr IsoDate kDefaultDate = date(2025, 6, 15);

struct DateTimeCase {
  std::string_view text;
  IsoDate date{};
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint32_t microsecond = 0;
  IsoTz tz{};
};

TEST(ParseDateTimeTest, ReadsIsoAndFreeForms) {
  const DateTimeCase kCases[] = {
      {.text = "2024-03-15T12:34:56Z",
       .date = date(2024, 3, 15),
       .hour = 12,
       .minute = 34,
       .second = 56,
       .tz = kUtc},
      {.text = "20240315T1030",
       .date = date(2024, 3, 15),
       .hour = 10,
       .minute = 30},
      {.text = "2024-03-15TT10:30",
       .date = date(2024, 3, 15),
       .hour = 10,
       .minute = 30},
      {.text = "2024-03-15", .date = date(2024, 3, 15)},
      {.text = "  2024-03-15 10:30  ",
       .date = date(2024, 3, 15),
       .hour = 10,
       .minute = 30},
      {.text = "2024-03-15 10:30:00Z",
       .date = date(2024, 3, 15),
       .hour = 10,
       .minute = 30,
       .tz = kUtc},
      {.text = "Jan 5 2024", .date = date(2024, 1, 5)},
      {.text = "5 January 2024", .date = date(2024, 1, 5)},
      {.text = "5, Jan, 2024,", .date = date(2024, 1, 5)},
      {.text = "Sept 5 2024", .date = date(2024, 9, 5)},
      {.text = "september 5 2024", .date = date(2024, 9, 5)},
      {.text = "5 DECEMBER, 2024", .date = date(2024, 12, 5)},
      {.text = "Jan\t5\n 2024", .date = date(2024, 1, 5)},
      {.text = "Jan 5 24", .date = date(24, 1, 5)},
      {.text = "Jan , 2024", .date = date(2024, 1, 0)},
      {.text = "Jan 255 4294967295", .date = date(4294967295u, 1, 255)},
      // "20" alone is a date (the century form), but "Jan 2024" is no time:
      // the space form gives way to the month-name form.
      {.text = "20 Jan 2024", .date = date(2024, 1, 20)},
      {.text = "12 Jan 2024 10:30",
       .date = date(2024, 1, 12),
       .hour = 10,
       .minute = 30},
      // Both sides of the space read: "20" is the first day of 2001.
      {.text = "20 10:30", .date = date(2001, 1, 1), .hour = 10, .minute = 30},
      {.text = "January 5, 2024 10:30",
       .date = date(2024, 1, 5),
       .hour = 10,
       .minute = 30},
      {.text = "Jan 5 2024 10:30Z",
       .date = date(2024, 1, 5),
       .hour = 10,
       .minute = 30,
       .tz = kUtc},
      {.text = "Jan 5 2024 9:30 pm",
       .date = date(2024, 1, 5),
       .hour = 21,
       .minute = 30},
      {.text = "Jan 5 2024 12:15 AM", .date = date(2024, 1, 5), .minute = 15},
      {.text = "Jan 5 2024 12:15 pm",
       .date = date(2024, 1, 5),
       .hour = 12,
       .minute = 15},
      {.text = "Jan 5 2024 9:30Z pm",
       .date = date(2024, 1, 5),
       .hour = 21,
       .minute = 30,
       .tz = kUtc},
      {.text = "Jan 5 2024 10:30:15.25 PM",
       .date = date(2024, 1, 5),
       .hour = 22,
       .minute = 30,
       .second = 15,
       .microsecond = 250000},
      {.text = "Jan 5 2024 10:30 +01:00",
       .date = date(2024, 1, 5),
       .hour = 10,
       .minute = 30,
       .tz = fixed("+01:00", 3600)},
      {.text = "10:30", .date = kDefaultDate, .hour = 10, .minute = 30},
      {.text = "9:30", .date = kDefaultDate, .hour = 9, .minute = 30},
      {.text = "12:30Z",
       .date = kDefaultDate,
       .hour = 12,
       .minute = 30,
       .tz = kUtc},
      {.text = " 9:30:15.5 ",
       .date = kDefaultDate,
       .hour = 9,
       .minute = 30,
       .second = 15,
       .microsecond = 500000},
  };
  for (const DateTimeCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto result = parse_datetime_with_default_date(c.text, kDefaultDate);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, (IsoDateTime{.time = {.hour = c.hour,
                                             .minute = c.minute,
                                             .second = c.second,
                                             .microsecond = c.microsecond,
                                             .tz = c.tz},
                                    .date = c.date}));
  }
}

TEST(ParseDateTimeTest, FailsWithTheInputAsPassed) {
  struct Case {
    std::string_view text;
    std::string_view message;
  };
  constexpr Case kCases[] = {
      {.text = "2024-03-15T", .message = "Unknown string format: 2024-03-15T"},
      {.text = "T10:30", .message = "Unknown string format: T10:30"},
      {.text = "2024-03-15X12",
       .message = "Unknown string format: 2024-03-15X12"},
      {.text = "2024-03-15 T10:30",
       .message = "Unknown string format: 2024-03-15 T10:30"},
      {.text = "OCT 5 2024", .message = "Unknown string format: OCT 5 2024"},
      {.text = "2024-03-15 10:30 +01:00",
       .message = "Unknown string format: 2024-03-15 10:30 +01:00"},
      {.text = "Jan 5 2024 13:30 pm",
       .message = "Unknown string format: Jan 5 2024 13:30 pm"},
      {.text = "Jan 5 2024 0:30 am",
       .message = "Unknown string format: Jan 5 2024 0:30 am"},
      {.text = "Jan 5 2024 10 pm",
       .message = "Unknown string format: Jan 5 2024 10 pm"},
      {.text = "Jan 5", .message = "Unknown string format: Jan 5"},
      {.text = "2024 5 Jan", .message = "Unknown string format: 2024 5 Jan"},
      {.text = "Jan 5 2024 10:30 pm UTC",
       .message = "Unknown string format: Jan 5 2024 10:30 pm UTC"},
      {.text = "Jan 5x 2024", .message = "Unknown string format: Jan 5x 2024"},
      {.text = "123:30", .message = "Unknown string format: 123:30"},
      {.text = "1x:30", .message = "Unknown string format: 1x:30"},
      {.text = ":30", .message = "Unknown string format: :30"},
      {.text = "10:30:00 pm", .message = "Unknown string format: 10:30:00 pm"},
      {.text = " 10:30\xc3\xa9",
       .message = "Unknown string format:  10:30\xc3\xa9"},
      // Too large for a day or a year: the form fails instead of wrapping.
      {.text = "Jan 256 2024",
       .message = "Unknown string format: Jan 256 2024"},
      {.text = "Jan 261 2024",
       .message = "Unknown string format: Jan 261 2024"},
      {.text = "Jan 5 4294967296",
       .message = "Unknown string format: Jan 5 4294967296"},
      {.text = "Jan 5 18446744073709551621",
       .message = "Unknown string format: Jan 5 18446744073709551621"},
      {.text = "", .message = "String does not contain a date: "},
      {.text = "   ", .message = "String does not contain a date:    "},
      {.text = "\t\r\n\v\f",
       .message = "String does not contain a date: \t\r\n\v\f"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto result = parse_datetime_with_default_date(c.text, kDefaultDate);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), c.message);
  }
}

TEST(ParseDateTimeTest, ATimeAloneNeedsTheDefaultDate) {
  EXPECT_EQ(parse_datetime_with_default_date("10:30", std::nullopt).error(),
            "Unknown string format: 10:30");
  const auto with_date =
      parse_datetime_with_default_date("Jan 5 2024", std::nullopt);
  ASSERT_TRUE(with_date.has_value());
  EXPECT_EQ(with_date->date, date(2024, 1, 5));
}

}  // namespace
}  // namespace trelk
