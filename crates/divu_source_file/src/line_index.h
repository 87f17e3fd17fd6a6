#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "text_size.h"

namespace divu {

// Whether a text holds only ASCII: then every column is a plain difference of
// byte offsets.
enum class TextKind : std::uint8_t { Ascii, Utf8 };

// The unit in which a column is counted.
enum class ColumnUnit : std::uint8_t {
  Bytes,       // UTF-8 code units
  Utf16Units,  // UTF-16 code units: two for a character at or above U+10000
  Characters,  // Unicode scalar values
};

// A 1-based line and a 1-based column; neither is ever 0.
struct SourceLocation {
  std::uint32_t line = 1;
  std::uint32_t column = 1;

  friend constexpr bool operator==(SourceLocation, SourceLocation) = default;
};

// The line table of one text: where each line starts. A line ends after
// "\n", "\r\n" or a lone "\r"; no other character ends one.
//
// The index keeps no copy of the text: every query takes the text it was
// built from. It never changes after construction, and copies share one
// table, so it may be read from any number of threads at once.
//
// Caller contract for the queries: every offset lies within the text and on a
// character boundary. An offset beyond the text, or one inside a character
// where characters are counted, is a broken invariant; the text is never read
// outside its bounds.
class LineIndex {
 public:
  // REQUIRES: text.size() < 2^32; otherwise a broken invariant.
  static LineIndex from_source_text(std::string_view text);

  // The line holding `offset` and its column in `unit`. An offset at a line
  // start belongs to the line that starts there; an offset at a line break
  // belongs to the line that the break ends.
  SourceLocation source_location(TextSize offset, std::string_view text,
                                 ColumnUnit unit) const;

  // The line and character column of `offset`, the form source analysis
  // reports. On the first line a leading byte-order mark is not counted.
  SourceLocation line_column(TextSize offset, std::string_view text) const;

  // The number of `unit`s from `start` to `end` in `text`.
  // REQUIRES: start <= end <= text.size().
  static std::uint32_t characters_between(TextKind kind, TextSize start,
                                          TextSize end, std::string_view text,
                                          ColumnUnit unit);

  // One offset per line, strictly increasing, the first always 0. A text
  // that ends with a line break has an empty last line starting at its end.
  std::span<const TextSize> line_starts() const { return table_->line_starts; }
  TextKind kind() const { return table_->kind; }

 private:
  struct Table {
    std::vector<TextSize> line_starts;
    TextKind kind;
  };
  explicit LineIndex(std::shared_ptr<const Table> table)
      : table_(std::move(table)) {}

  std::shared_ptr<const Table> table_;
};

}  // namespace divu
