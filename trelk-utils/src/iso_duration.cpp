#include "iso_duration.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>

#include "debug_quote.h"
#include "saturating_cast.h"

namespace trelk {
namespace {

constexpr Int128 kMicrosecondsPerDay = 86400000000;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string unparsable(std::string_view text) {
  std::string message = "Unable to parse duration string ";
  append_debug_quoted(message, text);
  return message;
}

std::string out_of_range() { return "Duration value is out of range"; }

// The components in their fixed order. The date part has years to days, the
// time part (after "T") hours to seconds; "M" is months before the "T" and
// minutes after it.
enum Slot : uint8_t {
  kYears,
  kMonths,
  kWeeks,
  kDays,
  kHours,
  kMinutes,
  kSeconds
};
constexpr std::size_t kSlotCount = 7;
constexpr char kDesignators[kSlotCount] = {'Y', 'M', 'W', 'D', 'H', 'M', 'S'};
constexpr std::size_t kFirstTimeSlot = kHours;

// Length in microseconds of the weeks to seconds.
constexpr double kSlotMicroseconds[kSlotCount] = {
    0, 0, 604800000000.0, 86400000000.0, 3600000000.0, 60000000.0, 1000000.0};

// The number of each component as written, or empty when it is absent.
using Components = std::array<std::string_view, kSlotCount>;

// Reads the components after "P"; nothing when the text breaks the grammar.
std::optional<Components> scan_components(std::string_view text) {
  Components components{};
  std::size_t next_slot = 0;
  std::size_t end_slot = kFirstTimeSlot;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == 'T' && end_slot == kFirstTimeSlot) {
      next_slot = kFirstTimeSlot;
      end_slot = kSlotCount;
      ++pos;
      continue;
    }
    // digits+ ([.,] digits+)?
    const std::size_t start = pos;
    while (pos < text.size() && is_digit(text[pos])) {
      ++pos;
    }
    if (pos == start) {
      return std::nullopt;
    }
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
      const std::size_t fraction_start = ++pos;
      while (pos < text.size() && is_digit(text[pos])) {
        ++pos;
      }
      if (pos == fraction_start) {
        return std::nullopt;
      }
    }
    if (pos == text.size()) {
      return std::nullopt;
    }
    const char designator = text[pos];
    std::size_t slot = next_slot;
    while (slot < end_slot && kDesignators[slot] != designator) {
      ++slot;
    }
    if (slot == end_slot) {
      return std::nullopt;
    }
    components[slot] = text.substr(start, pos - start);
    next_slot = slot + 1;
    ++pos;
  }
  return components;
}

bool is_non_zero(std::string_view number) {
  for (const char c : number) {
    if (c >= '1' && c <= '9') {
      return true;
    }
  }
  return false;
}

// The binary64 value nearest to a number of the grammar (digits with an
// optional "." or "," fraction, no sign, no exponent).
double to_binary64(std::string_view number) {
  std::string buffer(number);
  for (char& c : buffer) {
    if (c == ',') {
      c = '.';
    }
  }
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(buffer.data(), buffer.data() + buffer.size(), value);
  if (error == std::errc::result_out_of_range) {
    // from_chars leaves the value alone when it is out of range: a number
    // with a non-zero integer part overflowed, any other one underflowed.
    const std::size_t point = buffer.find('.');
    return is_non_zero(std::string_view(buffer).substr(0, point)) ? HUGE_VAL
                                                                  : 0.0;
  }
  return value;
}

}  // namespace

double round_f64_half_even(double value) {
  const double rounded = std::round(value);  // ties away from zero
  if (std::fabs(value - std::trunc(value)) == 0.5) {
    return 2.0 * std::round(value / 2.0);
  }
  return rounded;
}

std::expected<IsoDuration, std::string> parse_duration(std::string_view text) {
  std::string_view rest = text;
  bool negative = false;
  if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
    negative = rest[0] == '-';
    rest.remove_prefix(1);
  }
  for (const char c : rest) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return std::unexpected(unparsable(text));
    }
  }
  // "P" and at least one digit or letter after it.
  if (rest.size() < 2 || rest[0] != 'P' ||
      !(is_digit(rest[1]) || (rest[1] >= 'A' && rest[1] <= 'Z') ||
        (rest[1] >= 'a' && rest[1] <= 'z'))) {
    return std::unexpected(unparsable(text));
  }
  const std::optional<Components> components = scan_components(rest.substr(1));
  if (!components) {
    return std::unexpected(unparsable(text));
  }
  if (is_non_zero((*components)[kYears]) ||
      is_non_zero((*components)[kMonths])) {
    return IsoDuration{.kind = IsoDuration::Kind::kYearMonth};
  }
  // (((weeks + days) + hours) + minutes) + seconds, in binary64.
  double sum = 0.0;
  for (std::size_t slot = kWeeks; slot < kSlotCount; ++slot) {
    const std::string_view number = (*components)[slot];
    const double value =
        number.empty() ? 0.0 : to_binary64(number) * kSlotMicroseconds[slot];
    sum += value;
  }
  if (!std::isfinite(sum)) {
    return std::unexpected(out_of_range());
  }
  const Int128 count = saturating_cast<Int128>(round_f64_half_even(sum));
  return IsoDuration{.kind = IsoDuration::Kind::kExact,
                     .microseconds = negative ? -count : count};
}

std::expected<TimedeltaParts, std::string> split_timedelta(
    Int128 microseconds) {
  Int128 days = microseconds / kMicrosecondsPerDay;
  Int128 remainder = microseconds % kMicrosecondsPerDay;
  if (remainder < 0) {
    --days;
    remainder += kMicrosecondsPerDay;
  }
  if (days < INT32_MIN || days > INT32_MAX) {
    return std::unexpected(out_of_range());
  }
  return TimedeltaParts{
      .days = static_cast<int32_t>(days),
      .seconds = static_cast<int32_t>(remainder / 1000000),
      .microseconds = static_cast<int32_t>(remainder % 1000000),
  };
}

std::string duration_isoformat(int32_t days, int32_t seconds,
                               int32_t microseconds) {
  // At most about 2^31 × 86400 × 10^6 ≈ 1.9e20 µs: beyond 64 bits.
  Int128 total =
      (static_cast<Int128>(days) * 86400 + seconds) * 1000000 + microseconds;
  std::string out;
  if (total < 0) {
    out += '-';
    total = -total;
  }
  out += 'P';
  const auto whole_days = static_cast<int64_t>(total / kMicrosecondsPerDay);
  const auto rest = static_cast<int64_t>(total % kMicrosecondsPerDay);
  const int64_t hours = rest / 3600000000;
  const int64_t minutes = rest % 3600000000 / 60000000;
  const int64_t secs = rest % 60000000 / 1000000;
  const int64_t micros = rest % 1000000;
  if (whole_days > 0) {
    out += std::to_string(whole_days);
    out += 'D';
  }
  if (rest == 0) {
    if (whole_days == 0) {
      out += "0D";
    }
    return out;
  }
  out += 'T';
  if (hours > 0) {
    out += std::to_string(hours);
    out += 'H';
  }
  if (minutes > 0) {
    out += std::to_string(minutes);
    out += 'M';
  }
  if (secs > 0 || micros > 0) {
    out += std::to_string(secs);
    if (micros > 0) {
      // Six digits with leading zeros, trailing zeros removed.
      std::string fraction = std::to_string(micros + 1000000).substr(1);
      while (fraction.back() == '0') {
        fraction.pop_back();
      }
      out += '.';
      out += fraction;
    }
    out += 'S';
  }
  return out;
}

}  // namespace trelk
