#include "comment_ranges.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "invariant.h"

namespace divu {
namespace {

// Comments at 2..5, 10..14 and 20..21, among tokens of other kinds.
CommentRanges sample() {
  return CommentRanges::from(Tokens({
      {.range = TextRange(0, 1), .kind = TokenKind::Name},
      {.range = TextRange(2, 5), .kind = TokenKind::Comment},
      {.range = TextRange(5, 6), .kind = TokenKind::Newline},
      {.range = TextRange(6, 9), .kind = TokenKind::String},
      {.range = TextRange(10, 14), .kind = TokenKind::Comment},
      {.range = TextRange(14, 15), .kind = TokenKind::NonLogicalNewline},
      {.range = TextRange(20, 21), .kind = TokenKind::Comment},
  }));
}

struct RangeCase {
  std::string_view name;
  TextRange query;
  std::vector<TextRange> comments;
};

TEST(CommentRangesTest, CommentsInRange) {
  const RangeCase cases[] = {
      {.name = "everything",
       .query = TextRange(0, 30),
       .comments = {TextRange(2, 5), TextRange(10, 14), TextRange(20, 21)}},
      {.name = "one comment exactly",
       .query = TextRange(10, 14),
       .comments = {TextRange(10, 14)}},
      {.name = "begins inside a comment",
       .query = TextRange(3, 30),
       .comments = {TextRange(10, 14), TextRange(20, 21)}},
      {.name = "ends inside a comment",
       .query = TextRange(0, 12),
       .comments = {TextRange(2, 5)}},
      {.name = "ends inside the first comment",
       .query = TextRange(0, 4),
       .comments = {}},
      {.name = "empty range at a comment start",
       .query = TextRange::empty(10),
       .comments = {}},
      {.name = "between comments", .query = TextRange(14, 20), .comments = {}},
      {.name = "after the last", .query = TextRange(21, 30), .comments = {}},
  };
  const CommentRanges comments = sample();
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto found = comments.comments_in_range(c.query);
    EXPECT_EQ(std::vector<TextRange>(found.begin(), found.end()), c.comments);
    // A view into the list, not a copy.
    if (!found.empty()) {
      EXPECT_GE(found.data(), comments.ranges().data());
      EXPECT_LE(found.data() + found.size(),
                comments.ranges().data() + comments.ranges().size());
    }
  }
  const CommentRanges none = CommentRanges::from(Tokens({
      {.range = TextRange(0, 1), .kind = TokenKind::Name},
  }));
  EXPECT_TRUE(none.ranges().empty());
  EXPECT_TRUE(none.comments_in_range(TextRange(0, 100)).empty());
}

struct OwnLineCase {
  std::string_view name;
  std::string_view text;
  bool own_line;
};

// Each text has exactly one "#"; the comment starts there.
constexpr OwnLineCase kOwnLineCases[] = {
    {.name = "start of file", .text = "# c", .own_line = true},
    {.name = "after code", .text = "x = 1  # c", .own_line = false},
    {.name = "indented by blanks", .text = "x\n \t\f # c", .own_line = true},
    {.name = "after CRLF", .text = "x = 1\r\n  # c", .own_line = true},
    {.name = "after a lone CR", .text = "x = 1\r  # c", .own_line = true},
    {.name = "code after a lone CR", .text = "a\rb # c", .own_line = false},
    {.name = "byte-order mark then comment",
     .text = "\xEF\xBB\xBF# c",
     .own_line = true},
    {.name = "byte-order mark, blanks, comment",
     .text = "\xEF\xBB\xBF  # c",
     .own_line = true},
    {.name = "no-break space", .text = "\xC2\xA0# c", .own_line = false},
    {.name = "vertical tab", .text = "\v# c", .own_line = false},
    {.name = "continued statement",
     .text = "x = 1 + \\\n    # c",
     .own_line = true},
    {.name = "code on the continued line",
     .text = "x = 1 + \\\n  2 # c",
     .own_line = false},
    {.name = "long line of code",
     .text = "\nabcdefghijklmnopqrstuvwxyz0123456789 # c",
     .own_line = false},
};

TEST(CommentRangesTest, IsOwnLine) {
  for (const OwnLineCase& c : kOwnLineCases) {
    SCOPED_TRACE(c.name);
    const auto offset = static_cast<TextSize>(c.text.find('#'));
    EXPECT_EQ(CommentRanges::is_own_line(offset, c.text), c.own_line);
  }
}

TEST(CommentRangesTest, OffsetInsideTheByteOrderMarkIsABrokenInvariant) {
  try {
    (void)CommentRanges::is_own_line(0, "\xEF\xBB\xBF# c");
    ADD_FAILURE() << "no failure";
  } catch (const trelk::InvariantFailure& failure) {
    EXPECT_EQ(failure.message(), "assertion failed: start.raw <= end.raw");
  }
  EXPECT_THROW((void)CommentRanges::is_own_line(9, "# c"),
               trelk::InvariantFailure);
  // An offset inside a character is not a comment start: it is refused, not
  // judged by the bytes before it.
  EXPECT_THROW((void)CommentRanges::is_own_line(1, "\xC3\xA9# c"),
               trelk::InvariantFailure);
}

}  // namespace
}  // namespace divu
