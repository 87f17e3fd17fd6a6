#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace trelk {

// ISO 8601 dates, times of day and date-times as the platform writes them.
// No parser here checks that a month, day, hour, minute or second is in range:
// the fields are the numbers written, and the Python constructors that receive
// them reject impossible values.

// A calendar date in the proleptic Gregorian calendar.
struct IsoDate {
  uint32_t year = 0;
  uint8_t month = 0;
  uint8_t day = 0;

  friend bool operator==(const IsoDate&, const IsoDate&) = default;
};

// The zone of a time of day.
struct IsoTz {
  enum class Kind : uint8_t {
    kUtc,    // written "Z" or "z"
    kNaive,  // no zone written
    kFixed,  // a numeric offset such as +01:00 or -0530
  };
  Kind kind = Kind::kNaive;
  // kFixed only: the zone text exactly as written. An offset of zero stays
  // kFixed under its own name ("-00:00").
  std::string name{};
  // kFixed only: seconds east of UTC.
  int32_t offset_seconds = 0;

  friend bool operator==(const IsoTz&, const IsoTz&) = default;
};

// A time of day. `microsecond` may be 1000000 when a fraction of an hour
// rounds up to it: the rounding is not carried into the second.
struct IsoTime {
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint32_t microsecond = 0;
  IsoTz tz{};

  friend bool operator==(const IsoTime&, const IsoTime&) = default;
};

// A date-time: the time with its zone, then the date.
struct IsoDateTime {
  IsoTime time{};
  IsoDate date{};

  friend bool operator==(const IsoDateTime&, const IsoDateTime&) = default;
};

// Parses a calendar date (YYYY-MM-DD, YYYYMMDD, YYYY-MM, YYYYMM, YYYY, or CC
// for the first year of a century), an ordinal date (YYYY-DDD, YYYYDDD) or a
// week date (YYYY-Www-D, YYYYWwwD, YYYY-Www, YYYYWww). Week 53 is accepted in
// every year. Fails with "Unrecognised ISO 8601 date format: " followed by the
// whole input as a quoted literal (see debug_quote.h).
[[nodiscard]] std::expected<IsoDate, std::string> parse_date(
    std::string_view text);

// Parses a time of day hh:mm:ss, hhmmss, hh:mm, hhmm or hh, optionally after
// one "T", with a fraction ("." or ",") of its last unit and a zone ("Z",
// "z", or a sign with hh, hhmm or hh:mm). Fractions are exact: the first 38
// digits count, seconds and minutes are truncated to microseconds, and a
// fraction of an hour is rounded half to even. Fails with "Unrecognised ISO
// 8601 time format: " followed by the whole input as a quoted literal.
[[nodiscard]] std::expected<IsoTime, std::string> parse_time(
    std::string_view text);

// The month 1 to 12 that `token` names in English ("jan", "january", "sept",
// ...), ignoring ASCII case and trailing commas; nothing for any other text.
[[nodiscard]] std::optional<uint8_t> month_number(std::string_view token);

// Parses a date-time: ISO 8601 with "T" or a space between date and time, a
// date alone (at midnight), the forms "Jan 5 2024" and "5 January, 2024"
// with an optional time or a 12-hour time with am/pm, or a time alone, which
// falls on `default_date` (and fails without one). Fails with "String does not
// contain a date: " or "Unknown string format: " followed by the input exactly
// as passed.
[[nodiscard]] std::expected<IsoDateTime, std::string>
parse_datetime_with_default_date(std::string_view text,
                                 std::optional<IsoDate> default_date);

}  // namespace trelk
