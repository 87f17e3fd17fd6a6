#include "comment_ranges.h"

#include <algorithm>

#include "invariant.h"
#include "line_ranges.h"

namespace divu {

CommentRanges CommentRanges::from(const Tokens& tokens) {
  std::vector<TextRange> ranges;
  for (const Token& token : tokens) {
    if (token.kind == TokenKind::Comment) {
      ranges.push_back(token.range);
    }
  }
  return CommentRanges(std::move(ranges));
}

std::span<const TextRange> CommentRanges::comments_in_range(
    TextRange range) const {
  const auto first = std::partition_point(
      ranges_.begin(), ranges_.end(),
      [&](TextRange comment) { return comment.start() < range.start(); });
  // Walk rather than search again: the caller reads every comment returned,
  // so the walk costs only the one comment after them.
  auto last = first;
  while (last != ranges_.end() && last->end() <= range.end()) {
    ++last;
  }
  return {first, last};
}

bool CommentRanges::is_own_line(TextSize offset, std::string_view text) {
  const TextSize line_start = LineRanges::line_start(text, offset);
  TRELK_CHECK(line_start <= offset, "assertion failed: start.raw <= end.raw");
  const std::string_view before = TextRange(line_start, offset).slice(text);
  return std::all_of(before.begin(), before.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\f'; });
}

}  // namespace divu
