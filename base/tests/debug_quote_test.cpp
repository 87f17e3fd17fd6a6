#include "debug_quote.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace trelk {
namespace {

using namespace std::string_view_literals;

struct Case {
  std::string_view name;
  std::string_view text;
  std::string_view quoted;
};

constexpr Case kCases[] = {
    {.name = "empty", .text = ""sv, .quoted = R"("")"sv},
    {.name = "plain ascii",
     .text = "2024-13-45"sv,
     .quoted = R"("2024-13-45")"sv},
    {.name = "quote and backslash",
     .text = R"(a"b\c)"sv,
     .quoted = R"("a\"b\\c")"sv},
    {.name = "single quote stays", .text = "it's"sv, .quoted = R"("it's")"sv},
    {.name = "named escapes", .text = "\t\n\r"sv, .quoted = R"("\t\n\r")"sv},
    {.name = "nul", .text = "a\0b"sv, .quoted = R"("a\0b")"sv},
    {.name = "other c0 controls",
     .text = "\x01\x1b\x1f"sv,
     .quoted = R"("\u{1}\u{1b}\u{1f}")"sv},
    {.name = "delete", .text = "\x7f"sv, .quoted = R"("\u{7f}")"sv},
    {.name = "c1 control", .text = "\xc2\x85"sv, .quoted = R"("\u{85}")"sv},
    {.name = "space stays, no-break space escaped",
     .text = " \xc2\xa0"sv,
     .quoted = R"(" \u{a0}")"sv},
    {.name = "soft hyphen is a format character",
     .text = "\xc2\xad"sv,
     .quoted = R"("\u{ad}")"sv},
    {.name = "zero width space and byte-order mark",
     .text = "\xe2\x80\x8b\xef\xbb\xbf"sv,
     .quoted = R"("\u{200b}\u{feff}")"sv},
    {.name = "line and paragraph separators",
     .text = "\xe2\x80\xa8\xe2\x80\xa9"sv,
     .quoted = R"("\u{2028}\u{2029}")"sv},
    {.name = "private use",
     .text = "\xee\x80\x80"sv,
     .quoted = R"("\u{e000}")"sv},
    {.name = "unassigned", .text = "\xcd\xb8"sv, .quoted = R"("\u{378}")"sv},
    // The project's Unicode is 15.1: what it added (CJK Extension I and five
    // ideographic description characters) is printable, though ICU 72 does
    // not know it; the code points around it stay unassigned.
    {.name = "unicode 15.1 additions",
     .text = "\xf0\xae\xaf\xb0\xf0\xae\xb9\x9d"
             "\xe2\xbf\xbc\xe2\xbf\xbf\xe3\x87\xaf"sv,
     .quoted = "\"\xf0\xae\xaf\xb0\xf0\xae\xb9\x9d"
               "\xe2\xbf\xbc\xe2\xbf\xbf\xe3\x87\xaf\""sv},
    {.name = "around the unicode 15.1 additions",
     .text = "\xf0\xae\xaf\xaf\xf0\xae\xb9\x9e"sv,
     .quoted = R"("\u{2ebef}\u{2ee5e}")"sv},
    {.name = "last code point",
     .text = "\xf4\x8f\xbf\xbf"sv,
     .quoted = R"("\u{10ffff}")"sv},
    {.name = "combining mark after a letter",
     .text = "e\xcc\x81"sv,
     .quoted = R"("e\u{301}")"sv},
    {.name = "printable non-ascii unchanged",
     .text = "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80"sv,
     .quoted = "\"caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80\""sv},
    {.name = "lone invalid byte",
     .text = "1\xff"
             "2"sv,
     .quoted = R"("1\xff2")"sv},
    {.name = "truncated sequence",
     .text = "\xe2\x82"sv,
     .quoted = R"("\xe2\x82")"sv},
    {.name = "encoded surrogate",
     .text = "\xed\xa0\x80"sv,
     .quoted = R"("\xed\xa0\x80")"sv},
    {.name = "overlong slash",
     .text = "\xc0\xaf"sv,
     .quoted = R"("\xc0\xaf")"sv},
};

TEST(DebugQuoteTest, QuotesAsTheMessagesShowInput) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(debug_quote(c.text), c.quoted);
  }
}

TEST(DebugQuoteTest, AppendKeepsWhatIsThere) {
  std::string out = "format: ";
  append_debug_quoted(out, "x\"");
  EXPECT_EQ(out, R"(format: "x\"")");
}

}  // namespace
}  // namespace trelk
