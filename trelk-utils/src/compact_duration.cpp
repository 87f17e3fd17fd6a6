#include "compact_duration.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "saturating_cast.h"
#include "white_space.h"

namespace trelk {
namespace {

struct ExactText {
  std::string_view text;
  int64_t ms;
};

// Texts accepted as they stand, before any general rule. All but "", "all"
// and "infinity" give what the general rules would give as well; the table
// only spares the common ones the parse.
constexpr ExactText kExactTexts[] = {
    {"", 0},
    {"0s", 0},
    {"1s", 1'000},
    {"1m", 60'000},
    {"5m", 300'000},
    {"1h", 3'600'000},
    {"2h", 7'200'000},
    {"1d", 86'400'000},
    {"2d", 172'800'000},
    {"3d", 259'200'000},
    {"5d", 432'000'000},
    {"50s", 50'000},
    {"10m", 600'000},
    {"15m", 900'000},
    {"20m", 1'200'000},
    {"30m", 1'800'000},
    {"12h", 43'200'000},
    {"24h", 86'400'000},
    {"200s", 200'000},
    {"365d", 31'536'000'000},
    {"7d", 604'800'000},
    {"48h", 172'800'000},
    {"10d", 864'000'000},
    {"14d", 1'209'600'000},
    {"30d", 2'592'000'000},
    {"45d", 3'888'000'000},
    {"60d", 5'184'000'000},
    {"90d", 7'776'000'000},
    {"100d", 8'640'000'000},
    {"all", 3'153'600'000'000},       // 36500 days
    {"infinity", 3'153'600'000'000},  // 36500 days
    {"1w", 604'800'000},
};

struct Unit {
  std::string_view suffix;
  int64_t ms;
};

// Tried in this order, so that "ms" wins over "m" followed by "s".
constexpr Unit kUnits[] = {
    {"w", 604'800'000}, {"d", 86'400'000}, {"h", 3'600'000},
    {"ms", 1},          {"m", 60'000},     {"s", 1'000},
};
static_assert(std::size(kUnits) <= 8, "the units seen fit one byte of flags");

// 36500 days: from here on a duration is written as "infinity".
constexpr double kInfiniteSeconds = 3'153'600'000.0;

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string make_error(std::string_view text, std::string_view component) {
  std::string message = "The duration '";
  message += text;
  message += "' contained a component '";
  message += component;
  message +=
      "' that could not be parsed. Please use a valid duration, like '10m', "
      "'1h', or '1h30m'. Read more at "
      "https://docs.trelk.dev/api-docs#Duration";
  return message;
}

}  // namespace

std::expected<int64_t, std::string> parse_duration_ms(std::string_view text) {
  for (const ExactText& exact : kExactTexts) {
    if (text == exact.text) {
      return exact.ms;
    }
  }
  const auto fail_whole = [text] {
    return std::unexpected(make_error(text, text));
  };
  if (trim_white_space(text).empty()) {
    return fail_whole();
  }
  size_t pos = 0;
  const bool negative = text.starts_with('-');
  if (negative) {
    pos = 1;
    if (pos == text.size()) {
      return fail_whole();
    }
  }
  int64_t sum = 0;
  unsigned units_seen = 0;
  bool any_component = false;
  for (;;) {
    while (pos < text.size() && text[pos] == ' ') {
      ++pos;
    }
    if (pos == text.size()) {
      if (!any_component) {
        return fail_whole();
      }
      break;
    }
    const size_t start = pos;
    // The message names the rest of the input from the component's start.
    const auto fail_component = [text, start] {
      return std::unexpected(
          make_error(text, trim_white_space(text.substr(start))));
    };
    while (pos < text.size() && is_ascii_digit(text[pos])) {
      ++pos;
    }
    if (pos == start) {
      return fail_component();
    }
    int64_t number = 0;
    const auto [digits_end, error] =
        std::from_chars(text.data() + start, text.data() + pos, number);
    if (error != std::errc{}) {
      return std::unexpected(make_error(text, text.substr(start, pos - start)));
    }
    const std::string_view rest = text.substr(pos);
    size_t unit_index = 0;
    while (unit_index < std::size(kUnits) &&
           !rest.starts_with(kUnits[unit_index].suffix)) {
      ++unit_index;
    }
    if (unit_index == std::size(kUnits)) {
      return fail_component();
    }
    const unsigned unit_flag = 1u << unit_index;
    if ((units_seen & unit_flag) != 0) {
      return fail_component();
    }
    units_seen |= unit_flag;
    pos += kUnits[unit_index].suffix.size();
    if (pos < text.size() && is_ascii_letter(text[pos])) {
      return fail_component();
    }
    int64_t product = 0;
    if (__builtin_mul_overflow(number, kUnits[unit_index].ms, &product) ||
        __builtin_add_overflow(sum, product, &sum)) {
      return fail_component();
    }
    any_component = true;
  }
  // The sum is never negative, so its negation always fits.
  return negative ? -sum : sum;
}

std::expected<int64_t, std::string> parse_duration_s(std::string_view text) {
  auto ms = parse_duration_ms(text);
  if (!ms) {
    return ms;
  }
  return *ms / 1000;
}

std::string seconds_to_duration_string(double total_seconds) {
  if (total_seconds >= kInfiniteSeconds) {
    return "infinity";
  }
  std::string out;
  if (total_seconds < 0.0) {
    out += '-';
  }
  const double magnitude = std::fabs(total_seconds);
  const uint64_t whole = saturating_cast<uint64_t>(magnitude);
  const double fraction = magnitude - static_cast<double>(whole);
  const struct {
    uint64_t value;
    char unit;
  } parts[] = {
      {whole / 86400, 'd'},
      {whole % 86400 / 3600, 'h'},
      {whole % 3600 / 60, 'm'},
      {whole % 60, 's'},
  };
  for (const auto& part : parts) {
    if (part.value != 0) {
      out += std::to_string(part.value);
      out += part.unit;
    }
  }
  const uint64_t ms = saturating_cast<uint64_t>(std::round(fraction * 1000.0));
  if (ms != 0) {
    out += std::to_string(ms);
    out += "ms";
  }
  return out;
}

}  // namespace trelk
