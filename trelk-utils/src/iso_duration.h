#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace trelk {

// Signed 128-bit integer: an ISO 8601 duration is an exact count of
// microseconds, which can exceed 64 bits long before binary64 runs out.
using Int128 = __int128;

// An ISO 8601 duration such as P1DT2H30M.
struct IsoDuration {
  enum class Kind : uint8_t {
    kExact,      // `microseconds` holds the duration
    kYearMonth,  // non-zero years or months: no fixed length, no value
  };
  Kind kind = Kind::kExact;
  Int128 microseconds = 0;

  friend bool operator==(const IsoDuration&, const IsoDuration&) = default;
};

// The three fields of a Python timedelta: the duration is days × 86400 s +
// seconds s + microseconds µs, with 0 <= seconds < 86400 and
// 0 <= microseconds < 1000000.
struct TimedeltaParts {
  int32_t days = 0;
  int32_t seconds = 0;
  int32_t microseconds = 0;

  friend bool operator==(const TimedeltaParts&,
                         const TimedeltaParts&) = default;
};

// Parses [+-]P[nY][nM][nW][nD][T[nH][nM][nS]], each number digits with an
// optional "." or "," fraction. Weeks to seconds are converted in binary64
// (each number rounded to the nearest double, multiplied by its length in
// microseconds, summed in that order) and the sum rounded half to even; a
// finite sum beyond the 128-bit range becomes the nearest bound. Fails with
// "Unable to parse duration string " followed by the input as a quoted
// literal, or with "Duration value is out of range" for an infinite sum.
[[nodiscard]] std::expected<IsoDuration, std::string> parse_duration(
    std::string_view text);

// Splits a count of microseconds into timedelta fields, days rounded toward
// negative infinity. Fails with "Duration value is out of range" when the days
// do not fit 32 bits.
[[nodiscard]] std::expected<TimedeltaParts, std::string> split_timedelta(
    Int128 microseconds);

// Writes the timedelta of the given (not necessarily normalised) fields as an
// ISO 8601 duration: "-" for a negative one, days, then "T" with hours,
// minutes and seconds with up to six fraction digits, zero parts left out;
// zero is "P0D".
[[nodiscard]] std::string duration_isoformat(int32_t days, int32_t seconds,
                                             int32_t microseconds);

// `value` rounded to an integer, ties to the even one, whatever the
// floating-point environment's rounding mode.
[[nodiscard]] double round_f64_half_even(double value);

}  // namespace trelk
