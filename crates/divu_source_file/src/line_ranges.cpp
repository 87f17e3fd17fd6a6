#include "line_ranges.h"

#include "byte_search.h"
#include "invariant.h"

namespace divu {

TextSize LineRanges::line_start(std::string_view text, TextSize offset) {
  // Bounds-checked like a slice of the text up to the offset.
  const std::string_view before = TextRange(0, offset).slice(text);
  const std::size_t i =
      trelk::rfind_either_byte(before, before.size(), '\n', '\r');
  if (i != std::string_view::npos) {
    return static_cast<TextSize>(i + 1);
  }
  return starts_with_bom(text) ? kBomLength : 0;
}

}  // namespace divu
