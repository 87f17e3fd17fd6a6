#include "line_index.h"

#include <cstring>
#include <limits>
#include <string>

#include "byte_search.h"
#include "invariant.h"
#include "line_ranges.h"

namespace divu {
namespace {

// 2^32: offsets are 32-bit.
constexpr std::uint64_t kMaxTextSize = std::uint64_t{1} << 32;

// Counts saturate instead of wrapping.
std::uint32_t saturating_add_one(std::uint64_t count) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  return count >= kMax ? kMax : static_cast<std::uint32_t>(count + 1);
}

constexpr bool is_continuation_byte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

LineIndex LineIndex::from_source_text(std::string_view text) {
  TRELK_CHECK(text.size() < kMaxTextSize,
              "assertion failed: u32::try_from(bytes.len()).is_ok()");
  auto table = std::make_shared<Table>();
  // Source files average well over 88 bytes a line, so this rarely grows.
  table->line_starts.reserve(text.size() / 88 + 1);
  table->line_starts.push_back(0);
  std::vector<TextSize>& starts = table->line_starts;
  const bool ascii =
      trelk::for_each_either_byte(text, '\n', '\r', [&](std::size_t i) {
        // "\r\n" ends one line, counted at its "\n".
        const bool crlf =
            text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if (!crlf) {
          starts.push_back(static_cast<TextSize>(i + 1));
        }
      });
  table->kind = ascii ? TextKind::Ascii : TextKind::Utf8;
  return LineIndex(std::move(table));
}

SourceLocation LineIndex::source_location(TextSize offset,
                                          std::string_view text,
                                          ColumnUnit unit) const {
  const std::vector<TextSize>& starts = table_->line_starts;
  // The last line start at or before the offset; the first entry is 0, so
  // there always is one. Each halving step picks its half without a branch:
  // which half holds the offset is as good as random, so a branch would be
  // mispredicted at every other step.
  const TextSize* first = starts.data();
  for (std::size_t count = starts.size(); count > 1;) {
    const std::size_t half = count / 2;
    first = first[half] <= offset ? first + half : first;
    count -= half;
  }
  const auto line_index = static_cast<std::size_t>(first - starts.data());
  const TextSize line_start = *first;
  TRELK_CHECK(line_start <= offset, "assertion failed: start.raw <= end.raw");
  return {saturating_add_one(line_index),
          saturating_add_one(characters_between(table_->kind, line_start,
                                                offset, text, unit))};
}

SourceLocation LineIndex::line_column(TextSize offset,
                                      std::string_view text) const {
  SourceLocation location =
      source_location(offset, text, ColumnUnit::Characters);
  if (location.line == 1 && starts_with_bom(text) && location.column > 1) {
    --location.column;
  }
  return location;
}

std::uint32_t LineIndex::characters_between(TextKind kind, TextSize start,
                                            TextSize end, std::string_view text,
                                            ColumnUnit unit) {
  const std::string_view between = TextRange(start, end).slice(text);
  if (kind == TextKind::Ascii || unit == ColumnUnit::Bytes) {
    return end - start;
  }
  check_char_boundary(text, start);
  check_char_boundary(text, end);
  // In valid UTF-8 every character has one byte that is not a continuation
  // byte, and a character at or above U+10000 (two UTF-16 units) is the one
  // whose lead byte is 0xF0 or above.
  std::uint32_t count = 0;
  const bool utf16 = unit == ColumnUnit::Utf16Units;
  for (char c : between) {
    const auto byte = static_cast<unsigned char>(c);
    count += !is_continuation_byte(c);
    count += utf16 && byte >= 0xF0;
  }
  return count;
}

}  // namespace divu
