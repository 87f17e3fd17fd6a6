// Feeds arbitrary bytes to the ISO 8601 readers and checks what they promise:
// no crash or undefined behaviour, every failure message is its prefix
// followed by the input (quoted, or as passed), a quoted input is valid UTF-8
// without raw control characters, parsed fields stay in their ranges, and an
// exact duration that fits a timedelta survives formatting and parsing again.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "debug_quote.h"
#include "fuzz_check.h"
#include "iso_duration.h"
#include "isodate.h"
#include "utf8.h"

namespace {

using fuzz::check;

void check_quoted(std::string_view quoted) {
  check(trelk::is_valid_utf8(quoted));
  check(quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"');
  for (const char c : quoted) {
    const auto byte = static_cast<unsigned char>(c);
    check(byte >= 0x20 && byte != 0x7F);
  }
}

void check_message(const std::string& message, std::string_view prefix,
                   std::string_view text) {
  check(message == std::string(prefix) + trelk::debug_quote(text));
}

void check_time(const trelk::IsoTime& time) {
  check(time.microsecond <= 1000000);
  if (time.tz.kind == trelk::IsoTz::Kind::kFixed) {
    check(time.tz.offset_seconds > -86400 && time.tz.offset_seconds < 86400);
    check(!time.tz.name.empty());
  }
}

// 2^53: below it every count of microseconds is a binary64 integer.
constexpr trelk::Int128 kExactLimit = static_cast<trelk::Int128>(1) << 53;

void check_duration(std::string_view text) {
  const auto duration = trelk::parse_duration(text);
  if (!duration) {
    if (duration.error() != "Duration value is out of range") {
      check_message(duration.error(), "Unable to parse duration string ", text);
    }
    return;
  }
  if (duration->kind != trelk::IsoDuration::Kind::kExact) {
    return;
  }
  const auto parts = trelk::split_timedelta(duration->microseconds);
  if (!parts) {
    return;
  }
  check(parts->seconds >= 0 && parts->seconds < 86400);
  check(parts->microseconds >= 0 && parts->microseconds < 1000000);
  const trelk::Int128 count = duration->microseconds;
  if (count < kExactLimit && count > -kExactLimit) {
    const std::string written = trelk::duration_isoformat(
        parts->days, parts->seconds, parts->microseconds);
    const auto again = trelk::parse_duration(written);
    check(again.has_value() && again->microseconds == count);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_quoted(trelk::debug_quote(text));

  if (const auto date = trelk::parse_date(text); !date) {
    check_message(date.error(), "Unrecognised ISO 8601 date format: ", text);
  }
  if (const auto time = trelk::parse_time(text); time) {
    check_time(*time);
  } else {
    check_message(time.error(), "Unrecognised ISO 8601 time format: ", text);
  }
  const trelk::IsoDate default_date{.year = 2025, .month = 6, .day = 15};
  if (const auto date_time =
          trelk::parse_datetime_with_default_date(text, default_date);
      date_time) {
    check_time(date_time->time);
  } else {
    check(date_time.error() == "Unknown string format: " + std::string(text) ||
          date_time.error() ==
              "String does not contain a date: " + std::string(text));
  }
  check_duration(text);
  return 0;
}
