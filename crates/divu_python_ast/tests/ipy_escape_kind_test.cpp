#include "ipy_escape_kind.h"

#include <gtest/gtest.h>

#include <string_view>

namespace divu {
namespace {

struct EscapeCase {
  std::u32string_view chars;
  std::string_view escape = {};  // the kind's escape text, when accepted
  std::string_view error = {};   // otherwise
};

constexpr EscapeCase kCases[] = {
    {.chars = U"!", .escape = "!"},
    {.chars = U"?", .escape = "?"},
    {.chars = U"%", .escape = "%"},
    {.chars = U",", .escape = ","},
    {.chars = U";", .escape = ";"},
    {.chars = U"/", .escape = "/"},
    {.chars = U"#", .error = "Unexpected magic escape: #"},
    {.chars = U"\u00e9", .error = "Unexpected magic escape: \u00e9"},
    // Not "!" although its low byte is that of "!".
    {.chars = U"\u0121", .error = "Unexpected magic escape: \u0121"},
    {.chars = U"!!", .escape = "!!"},
    {.chars = U"??", .escape = "??"},
    {.chars = U"%%", .escape = "%%"},
    {.chars = U"!?", .error = "Unexpected magic escape: !?"},
    {.chars = U",,", .error = "Unexpected magic escape: ,,"},
};

TEST(IpyEscapeKindTest, FromOneOrTwoCharacters) {
  for (const EscapeCase& c : kCases) {
    SCOPED_TRACE(c.escape.empty() ? c.error : c.escape);
    const auto kind = c.chars.size() == 1
                          ? ipy_escape_kind_from_char(c.chars[0])
                          : ipy_escape_kind_from_chars(c.chars[0], c.chars[1]);
    if (c.escape.empty()) {
      ASSERT_FALSE(kind.has_value());
      EXPECT_EQ(kind.error(), c.error);
    } else {
      ASSERT_TRUE(kind.has_value());
      EXPECT_EQ(escape_text(*kind), c.escape);
    }
  }
}

}  // namespace
}  // namespace divu
