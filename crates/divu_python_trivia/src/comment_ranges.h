#pragma once

#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "text_size.h"
#include "tokens.h"

namespace divu {

// The ranges of all comments of a parsed text, in source order. Each runs
// from the "#" up to, not including, the line break that ends the comment.
// Sorted and free of overlaps, since the lexer emits comments left to right.
// Built once and never changed, so any number of threads may read it.
class CommentRanges {
 public:
  CommentRanges() = default;
  // REQUIRES: `ranges` sorted by start, not overlapping.
  explicit CommentRanges(std::vector<TextRange> ranges)
      : ranges_(std::move(ranges)) {}

  // The ranges of the `Comment` tokens of a parse's token list.
  static CommentRanges from(const Tokens& tokens);

  std::span<const TextRange> ranges() const { return ranges_; }

  // The comments that lie wholly inside `range`, in source order: a view into
  // the list, no copy. A comment that begins before the range is left out
  // even when it ends inside it.
  std::span<const TextRange> comments_in_range(TextRange range) const;

  // True when only spaces, tabs and form feeds stand between the start of
  // the line and `offset`, the start of a comment in `text`. On the first
  // line a byte-order mark is not part of the line. REQUIRES: `offset` lies
  // within `text` on a character boundary, outside the byte-order mark;
  // otherwise a broken invariant.
  static bool is_own_line(TextSize offset, std::string_view text);

 private:
  std::vector<TextRange> ranges_;
};

}  // namespace divu
