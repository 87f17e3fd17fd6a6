#include "token_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace divu {
namespace {

struct KindCase {
  TokenKind kind;
  int number;
  std::string_view debug;
  std::string_view display;
};

// One row per group of the table, and every kind whose text is easy to get
// wrong.
constexpr KindCase kKindCases[] = {
    {.kind = TokenKind::Name, .number = 0, .debug = "Name", .display = "name"},
    {.kind = TokenKind::Complex,
     .number = 3,
     .debug = "Complex",
     .display = "complex"},
    {.kind = TokenKind::FStringMiddle,
     .number = 6,
     .debug = "FStringMiddle",
     .display = "FStringMiddle"},
    {.kind = TokenKind::TStringEnd,
     .number = 10,
     .debug = "TStringEnd",
     .display = "TStringEnd"},
    {.kind = TokenKind::IpyEscapeCommand,
     .number = 11,
     .debug = "IpyEscapeCommand",
     .display = "IPython escape command"},
    {.kind = TokenKind::Newline,
     .number = 13,
     .debug = "Newline",
     .display = "newline"},
    {.kind = TokenKind::NonLogicalNewline,
     .number = 14,
     .debug = "NonLogicalNewline",
     .display = "NonLogicalNewline"},
    {.kind = TokenKind::EndOfFile,
     .number = 17,
     .debug = "EndOfFile",
     .display = "end of file"},
    {.kind = TokenKind::Lpar, .number = 20, .debug = "Lpar", .display = "`(`"},
    {.kind = TokenKind::Equal,
     .number = 35,
     .debug = "Equal",
     .display = "`=`"},
    {.kind = TokenKind::EqEqual,
     .number = 40,
     .debug = "EqEqual",
     .display = "`==`"},
    {.kind = TokenKind::CircumFlex,
     .number = 45,
     .debug = "CircumFlex",
     .display = "`^`"},
    {.kind = TokenKind::CircumflexEqual,
     .number = 57,
     .debug = "CircumflexEqual",
     .display = "`^=`"},
    {.kind = TokenKind::Ellipsis,
     .number = 66,
     .debug = "Ellipsis",
     .display = "`...`"},
    {.kind = TokenKind::And, .number = 67, .debug = "And", .display = "`and`"},
    {.kind = TokenKind::False,
     .number = 80,
     .debug = "False",
     .display = "`False`"},
    {.kind = TokenKind::None,
     .number = 90,
     .debug = "None",
     .display = "`None`"},
    {.kind = TokenKind::Yield,
     .number = 101,
     .debug = "Yield",
     .display = "`yield`"},
    {.kind = TokenKind::Match,
     .number = 103,
     .debug = "Match",
     .display = "`match`"},
    {.kind = TokenKind::Unknown,
     .number = 105,
     .debug = "Unknown",
     .display = "Unknown"},
};

TEST(TokenKindTest, NumbersAndTexts) {
  for (const KindCase& c : kKindCases) {
    SCOPED_TRACE(c.debug);
    EXPECT_EQ(static_cast<int>(c.kind), c.number);
    EXPECT_EQ(debug_text(c.kind), c.debug);
    EXPECT_EQ(display_text(c.kind), c.display);
  }
}

// Every operator and keyword is displayed as its source text in backquotes,
// and the classes are the number ranges the parser relies on.
TEST(TokenKindTest, ClassesCoverTheirRanges) {
  int keywords = 0;
  int soft_keywords = 0;
  int operators = 0;
  for (int number = 0; number < kTokenKindCount; ++number) {
    const auto kind = static_cast<TokenKind>(number);
    SCOPED_TRACE(debug_text(kind));
    const std::string_view source = source_text(kind);
    EXPECT_EQ(!source.empty(), is_operator(kind) || is_keyword(kind));
    if (!source.empty()) {
      EXPECT_EQ(display_text(kind), "`" + std::string(source) + "`");
    }
    keywords += is_keyword(kind);
    soft_keywords += is_soft_keyword(kind);
    operators += is_operator(kind);
    EXPECT_EQ(is_trivia(kind), kind == TokenKind::Comment ||
                                   kind == TokenKind::NonLogicalNewline);
    EXPECT_EQ(is_interpolated_string_kind(kind), number >= 5 && number <= 10);
  }
  EXPECT_EQ(keywords, 38);
  EXPECT_EQ(soft_keywords, 3);
  EXPECT_EQ(operators, 49);
  EXPECT_EQ(source_text(TokenKind::True), "True");
  EXPECT_EQ(source_text(TokenKind::DoubleStarEqual), "**=");
  EXPECT_EQ(source_text(TokenKind::Type), "type");
}

}  // namespace
}  // namespace divu
