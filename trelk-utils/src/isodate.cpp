#include "isodate.h"

#include <array>
#include <cstddef>

#include "debug_quote.h"

namespace trelk {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_ascii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return true;
}

// True when `count` digits stand at `pos` (the caller checked the length).
bool digits_at(std::string_view text, std::size_t pos, std::size_t count) {
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!is_digit(text[i])) {
      return false;
    }
  }
  return true;
}

// The number written by `count` digits at `pos`; at most 4, so no overflow.
uint32_t number_at(std::string_view text, std::size_t pos, std::size_t count) {
  uint32_t value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    value = value * 10 + static_cast<uint32_t>(text[i] - '0');
  }
  return value;
}

std::string unrecognised(std::string_view what, std::string_view text) {
  std::string message = "Unrecognised ISO 8601 ";
  message += what;
  message += " format: ";
  append_debug_quoted(message, text);
  return message;
}

// ---- Calendar arithmetic (proleptic Gregorian, days since 1970-01-01) ----

bool is_leap_year(uint32_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year =
      (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

IsoDate civil_from_days(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 +
                               day_of_era / 36524 - day_of_era / 146096) /
                              365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const int64_t month =
      shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  // Years 0 to 9999 with at most 53 weeks on top stay within 0 to 10000.
  return IsoDate{.year = static_cast<uint32_t>(year),
                 .month = static_cast<uint8_t>(month),
                 .day = static_cast<uint8_t>(day)};
}

// 0 for Monday through 6 for Sunday; 1970-01-01 was a Thursday.
int64_t weekday_from_monday(int64_t days) {
  const int64_t shifted = (days + 3) % 7;
  return shifted < 0 ? shifted + 7 : shifted;
}

std::optional<IsoDate> ordinal_date(uint32_t year, uint32_t day_of_year) {
  const uint32_t days_in_year = is_leap_year(year) ? 366 : 365;
  if (day_of_year < 1 || day_of_year > days_in_year) {
    return std::nullopt;
  }
  return civil_from_days(days_from_civil(year, 1, 1) + day_of_year - 1);
}

// Week 1 is the week that holds 4 January; week 53 is accepted in every year
// and may fall in the first week of the next one.
std::optional<IsoDate> week_date(uint32_t year, uint32_t week,
                                 uint32_t weekday) {
  if (week < 1 || week > 53 || weekday < 1 || weekday > 7) {
    return std::nullopt;
  }
  const int64_t january_4 = days_from_civil(year, 1, 4);
  const int64_t week_1_monday = january_4 - weekday_from_monday(january_4);
  return civil_from_days(week_1_monday + 7 * (week - 1) + (weekday - 1));
}

IsoDate calendar_date(uint32_t year, uint32_t month, uint32_t day) {
  return IsoDate{.year = year,
                 .month = static_cast<uint8_t>(month),
                 .day = static_cast<uint8_t>(day)};
}

// The forms of a date are told apart by length first, then by the place of
// "-" and "W". A form that matches its shape but not its ranges fails without
// trying another shape: no two shapes of one length overlap.
std::optional<IsoDate> date_form(std::string_view text) {
  switch (text.size()) {
    case 2:
      if (digits_at(text, 0, 2)) {
        return calendar_date(number_at(text, 0, 2) * 100 + 1, 1, 1);
      }
      return std::nullopt;
    case 4:
      if (digits_at(text, 0, 4)) {
        return calendar_date(number_at(text, 0, 4), 1, 1);
      }
      return std::nullopt;
    case 6:
      if (digits_at(text, 0, 6)) {
        return calendar_date(number_at(text, 0, 4), number_at(text, 4, 2), 1);
      }
      return std::nullopt;
    case 7:
      if (!digits_at(text, 0, 4)) {
        return std::nullopt;
      }
      if (digits_at(text, 4, 3)) {
        return ordinal_date(number_at(text, 0, 4), number_at(text, 4, 3));
      }
      if (text[4] == 'W' && digits_at(text, 5, 2)) {
        return week_date(number_at(text, 0, 4), number_at(text, 5, 2), 1);
      }
      if (text[4] == '-' && digits_at(text, 5, 2)) {
        return calendar_date(number_at(text, 0, 4), number_at(text, 5, 2), 1);
      }
      return std::nullopt;
    case 8:
      if (!digits_at(text, 0, 4)) {
        return std::nullopt;
      }
      if (digits_at(text, 4, 4)) {
        return calendar_date(number_at(text, 0, 4), number_at(text, 4, 2),
                             number_at(text, 6, 2));
      }
      if (text[4] == '-' && digits_at(text, 5, 3)) {
        return ordinal_date(number_at(text, 0, 4), number_at(text, 5, 3));
      }
      if (text[4] == '-' && text[5] == 'W' && digits_at(text, 6, 2)) {
        return week_date(number_at(text, 0, 4), number_at(text, 6, 2), 1);
      }
      if (text[4] == 'W' && digits_at(text, 5, 3)) {
        return week_date(number_at(text, 0, 4), number_at(text, 5, 2),
                         number_at(text, 7, 1));
      }
      return std::nullopt;
    case 10:
      if (!digits_at(text, 0, 4) || text[4] != '-') {
        return std::nullopt;
      }
      if (digits_at(text, 5, 2) && text[7] == '-' && digits_at(text, 8, 2)) {
        return calendar_date(number_at(text, 0, 4), number_at(text, 5, 2),
                             number_at(text, 8, 2));
      }
      if (text[5] == 'W' && digits_at(text, 6, 2) && text[8] == '-' &&
          digits_at(text, 9, 1)) {
        return week_date(number_at(text, 0, 4), number_at(text, 6, 2),
                         number_at(text, 9, 1));
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// ---- Times of day ----

// Only the first 38 digits of a fraction count.
constexpr std::size_t kMaxFractionDigits = 38;

// The decimal digits of a fraction 0.d1d2...dn, most significant first, held
// as values 0 to 9 so that it can be multiplied exactly.
struct DecimalFraction {
  std::array<uint8_t, kMaxFractionDigits> digits{};
  std::size_t count = 0;

  explicit DecimalFraction(std::string_view text) {
    count = text.size() < kMaxFractionDigits ? text.size() : kMaxFractionDigits;
    for (std::size_t i = 0; i < count; ++i) {
      digits[i] = static_cast<uint8_t>(text[i] - '0');
    }
  }

  // Multiplies the fraction by `factor` in place and returns the integer part
  // that carries out of it: long multiplication from the last digit, exact for
  // any number of digits.
  uint32_t multiply(uint32_t factor) {
    uint32_t carry = 0;
    for (std::size_t i = count; i-- > 0;) {
      const uint32_t value = digits[i] * factor + carry;
      digits[i] = static_cast<uint8_t>(value % 10);
      carry = value / 10;
    }
    return carry;
  }

  // floor(fraction × 10^6): the first six digits, zero-padded.
  uint32_t microseconds() const {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 6; ++i) {
      value = value * 10 + (i < count ? digits[i] : 0);
    }
    return value;
  }

  // fraction × 10^6 rounded to the nearest integer, ties to the even one.
  uint32_t microseconds_rounded_half_even() const {
    const uint32_t truncated = microseconds();
    if (count <= 6) {
      return truncated;
    }
    bool above_half = digits[6] > 5;
    if (digits[6] == 5) {
      for (std::size_t i = 7; i < count; ++i) {
        if (digits[i] != 0) {
          above_half = true;
          break;
        }
      }
    }
    const bool half = digits[6] == 5 && !above_half;
    if (above_half || (half && truncated % 2 == 1)) {
      return truncated + 1;
    }
    return truncated;
  }
};

// What the last written unit of a time is, which its fraction divides.
enum class FractionOf : uint8_t { kHour, kMinute, kSecond };

// The offset of a zone text, or nothing when it is no valid zone.
std::optional<IsoTz> parse_tzinfo(std::string_view zone) {
  if (zone.empty()) {
    return IsoTz{};
  }
  if (zone == "Z" || zone == "z") {
    return IsoTz{.kind = IsoTz::Kind::kUtc};
  }
  if (zone[0] != '+' && zone[0] != '-') {
    return std::nullopt;
  }
  uint32_t hours;
  uint32_t minutes = 0;
  if (zone.size() == 3 && digits_at(zone, 1, 2)) {
    hours = number_at(zone, 1, 2);
  } else if (zone.size() == 5 && digits_at(zone, 1, 4)) {
    hours = number_at(zone, 1, 2);
    minutes = number_at(zone, 3, 2);
  } else if (zone.size() == 6 && digits_at(zone, 1, 2) && zone[3] == ':' &&
             digits_at(zone, 4, 2)) {
    hours = number_at(zone, 1, 2);
    minutes = number_at(zone, 4, 2);
  } else {
    return std::nullopt;
  }
  if (hours > 23 || minutes > 59) {
    return std::nullopt;
  }
  const auto magnitude = static_cast<int32_t>(hours * 3600 + minutes * 60);
  return IsoTz{.kind = IsoTz::Kind::kFixed,
               .name = std::string(zone),
               .offset_seconds = zone[0] == '-' ? -magnitude : magnitude};
}

// One time form whose digits stand before `end`: reads the optional fraction
// of `unit` at `end` and the zone after it. Nothing when either is malformed.
std::optional<IsoTime> finish_time(std::string_view rest, std::size_t end,
                                   FractionOf unit, IsoTime time) {
  std::string_view fraction_digits;
  std::size_t zone_start = end;
  if (end < rest.size() && (rest[end] == '.' || rest[end] == ',')) {
    std::size_t stop = end + 1;
    while (stop < rest.size() && is_digit(rest[stop])) {
      ++stop;
    }
    if (stop == end + 1) {
      return std::nullopt;
    }
    fraction_digits = rest.substr(end + 1, stop - end - 1);
    zone_start = stop;
  }
  std::optional<IsoTz> tz = parse_tzinfo(rest.substr(zone_start));
  if (!tz) {
    return std::nullopt;
  }
  time.tz = std::move(*tz);
  if (!fraction_digits.empty()) {
    DecimalFraction fraction(fraction_digits);
    switch (unit) {
      case FractionOf::kSecond:
        time.microsecond = fraction.microseconds();
        break;
      case FractionOf::kMinute:
        // floor(f × 60000000) µs: the carry of f × 60 is the second.
        time.second = static_cast<uint8_t>(fraction.multiply(60));
        time.microsecond = fraction.microseconds();
        break;
      case FractionOf::kHour: {
        // f × 3600 seconds, split into whole minutes and seconds; what is
        // left is rounded to microseconds and never carried.
        const uint32_t seconds = fraction.multiply(3600);
        time.minute = static_cast<uint8_t>(seconds / 60);
        time.second = static_cast<uint8_t>(seconds % 60);
        time.microsecond = fraction.microseconds_rounded_half_even();
        break;
      }
    }
  }
  return time;
}

uint8_t two_digits(std::string_view text, std::size_t pos) {
  return static_cast<uint8_t>(number_at(text, pos, 2));
}

std::optional<IsoTime> time_form(std::string_view text) {
  if (!text.empty() && text[0] == 'T') {
    text.remove_prefix(1);
  }
  const std::size_t size = text.size();
  // hh:mm:ss
  if (size >= 8 && text[2] == ':' && text[5] == ':' && digits_at(text, 0, 2) &&
      digits_at(text, 3, 2) && digits_at(text, 6, 2)) {
    if (auto time = finish_time(text, 8, FractionOf::kSecond,
                                {.hour = two_digits(text, 0),
                                 .minute = two_digits(text, 3),
                                 .second = two_digits(text, 6)})) {
      return time;
    }
  }
  // hhmmss
  if (size >= 6 && digits_at(text, 0, 6)) {
    if (auto time = finish_time(text, 6, FractionOf::kSecond,
                                {.hour = two_digits(text, 0),
                                 .minute = two_digits(text, 2),
                                 .second = two_digits(text, 4)})) {
      return time;
    }
  }
  // hh:mm
  if (size >= 5 && text[2] == ':' && digits_at(text, 0, 2) &&
      digits_at(text, 3, 2)) {
    if (auto time = finish_time(
            text, 5, FractionOf::kMinute,
            {.hour = two_digits(text, 0), .minute = two_digits(text, 3)})) {
      return time;
    }
  }
  // hhmm
  if (size >= 4 && digits_at(text, 0, 4)) {
    if (auto time = finish_time(
            text, 4, FractionOf::kMinute,
            {.hour = two_digits(text, 0), .minute = two_digits(text, 2)})) {
      return time;
    }
  }
  // hh
  if (size >= 2 && digits_at(text, 0, 2)) {
    return finish_time(text, 2, FractionOf::kHour,
                       {.hour = two_digits(text, 0)});
  }
  return std::nullopt;
}

// ---- Date-times ----

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_space(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && is_space(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::string_view strip_trailing_commas(std::string_view text) {
  while (!text.empty() && text.back() == ',') {
    text.remove_suffix(1);
  }
  return text;
}

// A day or year of the month-name forms: digits only (none read as 0), and a
// value that fits `Int`; a larger one makes the form fail rather than wrap.
template <typename Int>
std::optional<Int> free_form_number(std::string_view token) {
  constexpr uint64_t kMax = static_cast<Int>(~Int{0});
  uint64_t value = 0;
  for (const char c : strip_trailing_commas(token)) {
    if (!is_digit(c)) {
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > kMax) {
      return std::nullopt;
    }
  }
  return static_cast<Int>(value);
}

// A time whose hour may be written with one digit: the first ":" must be the
// 2nd or 3rd character with only digits before it, which are padded to two.
std::optional<IsoTime> padded_time(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon != 1 && colon != 2) {
    return std::nullopt;
  }
  if (!digits_at(text, 0, colon)) {
    return std::nullopt;
  }
  if (colon == 2) {
    return time_form(text);
  }
  std::string padded = "0";
  padded += text;
  return time_form(padded);
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    if (c != lower[i]) {
      return false;
    }
  }
  return true;
}

// "9:30 pm", or "9:30" and "pm" written together as "9:30pm" failing that.
std::optional<IsoTime> twelve_hour_time(std::string_view clock,
                                        std::string_view meridiem) {
  std::optional<IsoTime> time = padded_time(clock);
  const bool am = equals_ignoring_ascii_case(meridiem, "am");
  const bool pm = equals_ignoring_ascii_case(meridiem, "pm");
  if (time && time->hour >= 1 && time->hour <= 12 && (am || pm)) {
    if (am && time->hour == 12) {
      time->hour = 0;
    } else if (pm && time->hour != 12) {
      time->hour = static_cast<uint8_t>(time->hour + 12);
    }
    return time;
  }
  std::string joined(clock);
  joined += meridiem;
  return time_form(joined);
}

// The month-name forms "Jan 5 2024[,] [time]" and "5 Jan[,] 2024 [time]",
// with 3 to 5 tokens. Nothing when the text is none of them.
std::optional<IsoDateTime> month_name_form(std::string_view text) {
  std::array<std::string_view, 5> tokens;
  std::size_t count = 0;
  std::size_t pos = 0;
  while (true) {
    while (pos < text.size() && is_space(text[pos])) {
      ++pos;
    }
    if (pos == text.size()) {
      break;
    }
    if (count == tokens.size()) {
      return std::nullopt;
    }
    const std::size_t start = pos;
    while (pos < text.size() && !is_space(text[pos])) {
      ++pos;
    }
    tokens[count++] = text.substr(start, pos - start);
  }
  if (count < 3) {
    return std::nullopt;
  }
  std::optional<uint8_t> month = month_number(tokens[0]);
  std::string_view day_token = tokens[1];
  if (!month) {
    month = month_number(tokens[1]);
    day_token = tokens[0];
  }
  if (!month) {
    return std::nullopt;
  }
  const std::optional<uint8_t> day = free_form_number<uint8_t>(day_token);
  const std::optional<uint32_t> year = free_form_number<uint32_t>(tokens[2]);
  if (!day || !year) {
    return std::nullopt;
  }
  IsoDateTime result{.date = {.year = *year, .month = *month, .day = *day}};
  if (count == 3) {
    return result;
  }
  std::optional<IsoTime> time = count == 4
                                    ? time_form(tokens[3])
                                    : twelve_hour_time(tokens[3], tokens[4]);
  if (!time) {
    return std::nullopt;
  }
  result.time = std::move(*time);
  return result;
}

std::string unknown_format(std::string_view text) {
  std::string message = "Unknown string format: ";
  message += text;
  return message;
}

struct MonthName {
  std::string_view name;
  uint8_t month;
};

constexpr MonthName kMonthNames[] = {
    {"jan", 1},  {"january", 1},   {"feb", 2},    {"february", 2},
    {"mar", 3},  {"march", 3},     {"apr", 4},    {"april", 4},
    {"may", 5},  {"jun", 6},       {"june", 6},   {"jul", 7},
    {"july", 7}, {"aug", 8},       {"august", 8}, {"sep", 9},
    {"sept", 9}, {"september", 9}, {"oct", 10},   {"october", 10},
    {"nov", 11}, {"november", 11}, {"dec", 12},   {"december", 12},
};

}  // namespace

std::expected<IsoDate, std::string> parse_date(std::string_view text) {
  if (is_ascii(text)) {
    if (std::optional<IsoDate> date = date_form(text)) {
      return *date;
    }
  }
  return std::unexpected(unrecognised("date", text));
}

std::expected<IsoTime, std::string> parse_time(std::string_view text) {
  if (is_ascii(text)) {
    if (std::optional<IsoTime> time = time_form(text)) {
      return std::move(*time);
    }
  }
  return std::unexpected(unrecognised("time", text));
}

std::optional<uint8_t> month_number(std::string_view token) {
  token = strip_trailing_commas(token);
  for (const MonthName& entry : kMonthNames) {
    if (equals_ignoring_ascii_case(token, entry.name)) {
      return entry.month;
    }
  }
  return std::nullopt;
}

std::expected<IsoDateTime, std::string> parse_datetime_with_default_date(
    std::string_view text, std::optional<IsoDate> default_date) {
  if (!is_ascii(text)) {
    return std::unexpected(unknown_format(text));
  }
  const std::string_view trimmed = trim(text);
  if (trimmed.empty()) {
    std::string message = "String does not contain a date: ";
    message += text;
    return std::unexpected(std::move(message));
  }
  // A "T" decides the form: nothing else is tried when either side fails.
  if (const std::size_t t = trimmed.find('T'); t != std::string_view::npos) {
    std::optional<IsoDate> date = date_form(trimmed.substr(0, t));
    std::optional<IsoTime> time =
        date ? time_form(trimmed.substr(t + 1)) : std::nullopt;
    if (!time) {
      return std::unexpected(unknown_format(text));
    }
    return IsoDateTime{.time = std::move(*time), .date = *date};
  }
  if (is_digit(trimmed[0])) {
    if (const std::size_t space = trimmed.find(' ');
        space != std::string_view::npos) {
      if (std::optional<IsoDate> date = date_form(trimmed.substr(0, space))) {
        if (std::optional<IsoTime> time =
                time_form(trimmed.substr(space + 1))) {
          return IsoDateTime{.time = std::move(*time), .date = *date};
        }
      }
    }
  }
  if (std::optional<IsoDate> date = date_form(trimmed)) {
    return IsoDateTime{.date = *date};
  }
  if (std::optional<IsoDateTime> date_time = month_name_form(trimmed)) {
    return std::move(*date_time);
  }
  if (default_date) {
    if (std::optional<IsoTime> time = padded_time(trimmed)) {
      return IsoDateTime{.time = std::move(*time), .date = *default_date};
    }
  }
  return std::unexpected(unknown_format(text));
}

}  // namespace trelk
