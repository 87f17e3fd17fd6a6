#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace trelk {

// Compact duration strings: numbers followed by unit letters, such as "10m",
// "1h30m" or "-2d". Units are w, d, h, m, s and ms, each at most once, in any
// order, separated by optional spaces; a leading "-" negates the whole.

// Parses `text` into milliseconds. A few exact texts are accepted as they are
// ("", "all" and "infinity" among them, the last two meaning 36500 days).
// Fails with the compact-duration message naming the whole input and the
// offending component; a number, product or sum outside the signed 64-bit
// range fails the same way rather than wrapping.
// REQUIRES: `text` is valid UTF-8.
[[nodiscard]] std::expected<int64_t, std::string> parse_duration_ms(
    std::string_view text);

// parse_duration_ms divided by 1000, truncated toward zero.
[[nodiscard]] std::expected<int64_t, std::string> parse_duration_s(
    std::string_view text);

// Writes a number of seconds in compact form ("1d1h1m1s500ms"): zero parts are
// left out, the milliseconds are rounded half away from zero and never carried
// into the seconds. 36500 days or more gives "infinity"; zero and NaN give the
// empty text; a negative value whose parts are all zero gives "-".
[[nodiscard]] std::string seconds_to_duration_string(double total_seconds);

}  // namespace trelk
