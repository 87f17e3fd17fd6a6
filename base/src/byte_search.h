#pragma once

#include <cstddef>
#include <string_view>

namespace trelk {

// Searches for either of two byte values in one pass over the text, eight
// bytes at a time, as line-break searches ("\n" or "\r") need: two scans,
// one per byte, would read the text twice.

// The index of the first byte at or after `from` that equals `a` or `b`, or
// std::string_view::npos. REQUIRES: from <= text.size().
[[nodiscard]] std::size_t find_either_byte(std::string_view text,
                                           std::size_t from, char a,
                                           char b) noexcept;

// The index of the last byte before `before` that equals `a` or `b`, or
// std::string_view::npos. REQUIRES: before <= text.size().
[[nodiscard]] std::size_t rfind_either_byte(std::string_view text,
                                            std::size_t before, char a,
                                            char b) noexcept;

}  // namespace trelk
