#include "utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "invariant.h"

namespace trelk {
namespace {

struct Case {
  std::string_view name;
  std::string_view bytes;
  std::size_t valid_prefix;
};

using namespace std::string_view_literals;

constexpr Case kCases[] = {
    {.name = "empty", .bytes = ""sv, .valid_prefix = 0},
    {.name = "ascii longer than a word",
     .bytes = "abcdefghijklmnopq"sv,
     .valid_prefix = 17},
    {.name = "nul is valid", .bytes = "a\0b"sv, .valid_prefix = 3},
    {.name = "two bytes", .bytes = "\xC3\xA9"sv, .valid_prefix = 2},
    {.name = "three bytes", .bytes = "\xE2\x82\xAC"sv, .valid_prefix = 3},
    {.name = "four bytes max",
     .bytes = "\xF4\x8F\xBF\xBF"sv,
     .valid_prefix = 4},
    {.name = "byte-order mark", .bytes = "\xEF\xBB\xBFx"sv, .valid_prefix = 4},
    {.name = "overlong two bytes", .bytes = "a\xC0\xAF"sv, .valid_prefix = 1},
    {.name = "overlong C1", .bytes = "\xC1\xBF"sv, .valid_prefix = 0},
    {.name = "overlong three bytes",
     .bytes = "\xE0\x80\xAF"sv,
     .valid_prefix = 0},
    {.name = "overlong four bytes",
     .bytes = "\xF0\x80\x80\xAF"sv,
     .valid_prefix = 0},
    {.name = "surrogate low end", .bytes = "\xED\xA0\x80"sv, .valid_prefix = 0},
    {.name = "surrogate high end",
     .bytes = "\xED\xBF\xBF"sv,
     .valid_prefix = 0},
    {.name = "last before surrogates",
     .bytes = "\xED\x9F\xBF"sv,
     .valid_prefix = 3},
    {.name = "above U+10FFFF",
     .bytes = "\xF4\x90\x80\x80"sv,
     .valid_prefix = 0},
    {.name = "lead F5", .bytes = "\xF5\x80\x80\x80"sv, .valid_prefix = 0},
    {.name = "lone continuation", .bytes = "ab\x80"sv, .valid_prefix = 2},
    {.name = "truncated at end",
     .bytes = "abcdefgh\xE2\x82"sv,
     .valid_prefix = 8},
    {.name = "bad continuation", .bytes = "\xE2\x28\xA1"sv, .valid_prefix = 0},
    {.name = "invalid after a word of ascii",
     .bytes = "12345678\xFF"sv,
     .valid_prefix = 8},
};

TEST(Utf8Test, ValidPrefixFollowsAStrictDecoder) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(valid_utf8_prefix(c.bytes), c.valid_prefix);
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid_prefix == c.bytes.size());
  }
}

// ASCII is skipped in steps of several bytes: a sequence at any offset, on
// either side of a step's end, is still checked byte by byte.
TEST(Utf8Test, ASequenceIsCheckedAtEveryOffsetInAsciiText) {
  for (std::size_t offset = 0; offset < 80; ++offset) {
    SCOPED_TRACE(offset);
    std::string text(100, 'a');
    text.replace(offset, 3, "\xE2\x82\xAC");
    EXPECT_EQ(valid_utf8_prefix(text), text.size());
    text[offset + 1] = 'b';
    EXPECT_EQ(valid_utf8_prefix(text), offset);
  }
}

TEST(Utf8Test, AppendEncodesEachLengthAtItsBounds) {
  struct EncodeCase {
    char32_t c;
    std::string_view bytes;
  };
  constexpr EncodeCase kEncodeCases[] = {
      {.c = 0, .bytes = "\0"sv},
      {.c = U'$', .bytes = "$"sv},
      {.c = 0x7F, .bytes = "\x7F"sv},
      {.c = 0x80, .bytes = "\xC2\x80"sv},
      {.c = 0x7FF, .bytes = "\xDF\xBF"sv},
      {.c = 0x800, .bytes = "\xE0\xA0\x80"sv},
      {.c = 0xFFFF, .bytes = "\xEF\xBF\xBF"sv},
      {.c = 0x10000, .bytes = "\xF0\x90\x80\x80"sv},
      {.c = 0x10FFFF, .bytes = "\xF4\x8F\xBF\xBF"sv},
  };
  for (const EncodeCase& c : kEncodeCases) {
    SCOPED_TRACE(static_cast<unsigned>(c.c));
    std::string out = "x";
    append_utf8(out, c.c);
    EXPECT_EQ(out, "x" + std::string(c.bytes));
  }
  std::string out;
  EXPECT_THROW(append_utf8(out, 0xD800), InvariantFailure);
  EXPECT_THROW(append_utf8(out, 0x110000), InvariantFailure);
}

TEST(Utf8Test, LossyTextReplacesMaximalSubparts) {
  struct LossyCase {
    std::string_view bytes;
    std::string_view text;
  };
  constexpr LossyCase kLossyCases[] = {
      {.bytes = "abc", .text = "abc"},
      {.bytes = "a\xFF"
                "b",
       .text = "a\xEF\xBF\xBD"
               "b"},
      // A truncated three-byte sequence is one replacement.
      {.bytes = "\xE2\x82"
                "x",
       .text = "\xEF\xBF\xBD"
               "x"},
      // A surrogate's lead and its bytes are three replacements.
      {.bytes = "\xED\xA0\x80", .text = "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {.bytes = "\xF0\x9F\x98", .text = "\xEF\xBF\xBD"},
      {.bytes = "\xC3\xA9", .text = "\xC3\xA9"},
  };
  for (const LossyCase& c : kLossyCases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(to_utf8_lossy(c.bytes), c.text);
  }
}

TEST(CharBoundaryTest, OnlyContinuationBytesAreInsideACharacter) {
  // "a", then U+00E9 (2 bytes), then U+20AC (3 bytes).
  constexpr std::string_view kText = "a\xC3\xA9\xE2\x82\xAC";
  constexpr bool kBoundary[] = {true, true, false, true, false, false, true};
  static_assert(std::size(kBoundary) == kText.size() + 1);
  for (std::size_t offset = 0; offset <= kText.size(); ++offset) {
    SCOPED_TRACE(offset);
    EXPECT_EQ(is_char_boundary(kText, offset), kBoundary[offset]);
  }
  EXPECT_TRUE(is_char_boundary(kText, kText.size() + 1));
}

}  // namespace
}  // namespace trelk
