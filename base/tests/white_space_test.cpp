#include "white_space.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace trelk {
namespace {

TEST(WhiteSpaceTest, TrimsUnicodeWhiteSpaceAtBothEnds) {
  struct Case {
    std::string_view text;
    std::string_view trimmed;
  };
  constexpr Case kCases[] = {
      {.text = "  a b \t\n", .trimmed = "a b"},
      {.text = "", .trimmed = ""},
      {.text = " \r\n\f\v ", .trimmed = ""},
      // U+00A0, U+3000 and U+2028 are White_Space; U+200B is not.
      {.text = "\xC2\xA0x\xE3\x80\x80", .trimmed = "x"},
      {.text = "\xE2\x80\xA8x\xE2\x80\x8B", .trimmed = "x\xE2\x80\x8B"},
      {.text = "\xC3\xA9", .trimmed = "\xC3\xA9"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(trim_white_space(c.text), c.trimmed);
  }
}

TEST(WhiteSpaceTest, SplitsAtRunsAndDropsEmptyPieces) {
  struct Case {
    std::string_view text;
    std::vector<std::string_view> pieces;
  };
  const Case kCases[] = {
      {.text = "a b", .pieces = {"a", "b"}},
      {.text = "  a \t\n b  ", .pieces = {"a", "b"}},
      {.text = "", .pieces = {}},
      {.text = "   ", .pieces = {}},
      {.text = "x\xC2\xA0y\xE3\x80\x80z", .pieces = {"x", "y", "z"}},
      {.text = "\xC3\xA9t\xC3\xA9", .pieces = {"\xC3\xA9t\xC3\xA9"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(split_white_space(c.text), c.pieces);
  }
}

}  // namespace
}  // namespace trelk
