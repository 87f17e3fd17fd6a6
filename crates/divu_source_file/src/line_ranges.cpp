#include "line_ranges.h"

#include <string>

#include "byte_search.h"
#include "invariant.h"
#include "utf8.h"

namespace divu {

void check_char_boundary(std::string_view text, TextSize offset) {
  TRELK_CHECK(
      trelk::is_char_boundary(text, offset),
      "byte index " + std::to_string(offset) + " is not a char boundary");
}

TextSize LineRanges::line_start(std::string_view text, TextSize offset) {
  // Checked like a slice of the text up to the offset: within it, and not
  // inside a character.
  const std::string_view before = TextRange(0, offset).slice(text);
  check_char_boundary(text, offset);
  const std::size_t i =
      trelk::rfind_either_byte(before, before.size(), '\n', '\r');
  if (i != std::string_view::npos) {
    return static_cast<TextSize>(i + 1);
  }
  return starts_with_bom(text) ? kBomLength : 0;
}

}  // namespace divu
