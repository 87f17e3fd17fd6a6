#include "text_lines.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace trelk {
namespace {

using Lines = std::vector<std::string_view>;

TEST(TextLinesTest, SplitsAtLineFeedsAndDropsTheCarriageReturnBeforeOne) {
  struct Case {
    std::string_view text;
    Lines lines;
  };
  const Case kCases[] = {
      {.text = "", .lines = {}},
      {.text = "a", .lines = {"a"}},
      {.text = "a\n", .lines = {"a"}},
      {.text = "a\n\n", .lines = {"a", ""}},
      {.text = "\n", .lines = {""}},
      {.text = "a\r\nb\r\n", .lines = {"a", "b"}},
      // Only the "\r" of a "\r\n" pair goes; a lone one is text.
      {.text = "a\rb", .lines = {"a\rb"}},
      {.text = "a\r", .lines = {"a\r"}},
      {.text = "a\r\r\nb", .lines = {"a\r", "b"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(text_lines(c.text), c.lines);
  }
}

TEST(TextLinesTest, JoinPutsTheSeparatorOnlyBetweenPieces) {
  struct Case {
    Lines pieces;
    std::string_view joined;
  };
  const Case kCases[] = {
      {.pieces = {}, .joined = ""},
      {.pieces = {"a"}, .joined = "a"},
      {.pieces = {"", ""}, .joined = ", "},
      {.pieces = {"a", "", "b"}, .joined = "a, , b"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.joined));
    EXPECT_EQ(join(c.pieces, ", "), c.joined);
  }
}

}  // namespace
}  // namespace trelk
