#pragma once

#include <string_view>

#include "text_size.h"

namespace divu {

// Line operations on plain text, without a LineIndex.
struct LineRanges {
  // The start of the line holding `offset`: just after the last "\n" or "\r"
  // before it, or, on the first line, 3 when the text begins with a
  // byte-order mark and 0 otherwise. Unlike LineIndex, the "\n" of a "\r\n"
  // pair counts as a line start. REQUIRES: offset <= text.size() and on a
  // character boundary; otherwise a broken invariant.
  static TextSize line_start(std::string_view text, TextSize offset);
};

// Stops with a broken invariant unless `offset` is a character boundary of
// `text`: its end, or a byte that does not continue a multi-byte character.
// REQUIRES: offset <= text.size().
void check_char_boundary(std::string_view text, TextSize offset);

// True when `text` begins with the UTF-8 byte-order mark EF BB BF.
constexpr bool starts_with_bom(std::string_view text) {
  return text.starts_with("\xEF\xBB\xBF");
}

// The length of the byte-order mark.
inline constexpr TextSize kBomLength = 3;

}  // namespace divu
