#include "string_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace divu {
namespace {

using namespace std::string_view_literals;

// A string token as the lexer hands it over: `source` is the whole token at
// offset 0 (prefix, quotes and all); a token without its closing quotes is
// unclosed.
struct Token {
  std::string_view text;
  AnyStringFlags flags;
  TextRange range;
};

Token token(std::string_view source) {
  std::uint16_t bits = 0;
  std::size_t i = 0;
  for (; source[i] != '\'' && source[i] != '"'; ++i) {
    switch (source[i]) {
      case 'b':
      case 'B':
        bits |= AnyStringFlags::kPrefixB;
        break;
      case 'u':
      case 'U':
        bits |= AnyStringFlags::kPrefixU;
        break;
      case 'r':
        bits |= AnyStringFlags::kPrefixRawLower;
        break;
      case 'R':
        bits |= AnyStringFlags::kPrefixRawUpper;
        break;
      default:
        ADD_FAILURE() << "bad prefix in " << source;
    }
  }
  const char quote = source[i];
  if (quote == '"') {
    bits |= AnyStringFlags::kDoubleQuote;
  }
  std::string_view quotes = source.substr(i, 1);
  if (source.substr(i).starts_with(std::string(3, quote))) {
    bits |= AnyStringFlags::kTripleQuote;
    quotes = source.substr(i, 3);
  }
  std::string_view text = source.substr(i + quotes.size());
  if (text.size() >= quotes.size() && text.ends_with(quotes)) {
    text.remove_suffix(quotes.size());
  } else {
    bits |= AnyStringFlags::kUnclosed;
  }
  return {.text = text,
          .flags = AnyStringFlags(bits),
          .range = TextRange(0, static_cast<TextSize>(source.size()))};
}

std::string describe(const LexicalError& e) {
  return e.error.to_string() + " at " + e.location.to_string();
}

struct Case {
  std::string_view source;
  std::string_view value = {};  // the decoded value, when no error
  std::string_view error = {};  // "message at start..end"
};

std::string_view value_of(const StringType& part) {
  if (const auto* s = std::get_if<StringLiteral>(&part)) {
    return s->value;
  }
  return std::get<BytesLiteral>(part).value;
}
std::string_view value_of(const InterpolatedStringElementLiteral& element) {
  return element.value;
}

void check(const Case& c, const auto& result) {
  if (c.error.empty()) {
    ASSERT_TRUE(result.has_value()) << describe(result.error());
    EXPECT_EQ(value_of(*result), c.value);
  } else {
    ASSERT_FALSE(result.has_value()) << value_of(*result);
    EXPECT_EQ(describe(result.error()), c.error);
  }
}

TEST(ParseStringLiteralTest, Escapes) {
  const Case kCases[] = {
      {.source = R"('a\nb')", .value = "a\nb"},
      {.source = R"(r'a\nb')", .value = R"(a\nb)"},
      {.source = R"(R'\x4g')", .value = R"(\x4g)"},
      {.source = R"(u'\x41')", .value = "A"},
      {.source = R"('\q')", .value = R"(\q)"},
      {.source = R"(b'\q')", .value = R"(\q)"},
      {.source = "'\\\xC3\xA9'", .value = "\\\xC3\xA9"},  // kept with é
      {.source = R"('\\ \' \" ')", .value = R"(\ ' " )"},
      {.source = R"('\a\b\f\n\r\t\v')", .value = "\a\b\f\n\r\t\v"},
      {.source = R"('\101\x41')", .value = "AA"},
      {.source = R"('\1234')", .value = "S4"},
      {.source = R"('\0\08\400')",
       .value = "\0\0"
                "8\xC4\x80"sv},
      {.source = R"('\u00e9\U0001F600')", .value = "\xC3\xA9\xF0\x9F\x98\x80"},
      {.source = R"('\x80')", .value = "\xC2\x80"},
      {.source = R"('\ud800\uDFFF')", .value = "\xEF\xBF\xBD\xEF\xBF\xBD"},
      // The last code point, and a surrogate written with eight digits.
      {.source = R"('\U0010FFFF\U0000dbff')",
       .value = "\xF4\x8F\xBF\xBF\xEF\xBF\xBD"},
      {.source = R"('\777\0000')",
       .value = "\xC7\xBF\0"
                "0"sv},
      {.source = R"('\N{LATIN SMALL LETTER A}\N{bullet}')",
       .value = "a\xE2\x80\xA2"},
      {.source = R"('\N{ALERT}\N{HANGUL SYLLABLE GA}')",
       .value = "\a\xEA\xB0\x80"},
      {.source = "'''a\\\nb'''", .value = "ab"},
      {.source = "'a\\\r\nb\\\rc'", .value = "abc"},
      {.source = "'a\0\\n\0'"sv, .value = "a\0\n\0"sv},
      // Line breaks inside the literal stay as written, CRLF included; a
      // backslash joins lines and takes one CRLF or one CR with it.
      {.source = "'''a\r\nb\rc'''", .value = "a\r\nb\rc"},
      {.source = "'''a\\\r\r\nb'''", .value = "a\r\nb"},
      {.source = "r'''a\\\r\nb'''", .value = "a\\\r\nb"},
      {.source = "b'''a\\\r\nb\r\n'''", .value = "ab\r\n"},
      // Bytes store the low eight bits and keep \u, \U and \N as written.
      {.source = R"(b'\777\x80\101')",
       .value = "\xFF\x80"
                "A"},
      {.source = R"(b'\u0041\U00000041\N{DASH}')",
       .value = R"(\u0041\U00000041\N{DASH})"},
      {.source = R"(b'\400\x00\1')", .value = "\0\0\1"sv},
      {.source = R"(rb'\x4g')", .value = R"(\x4g)"},
      {.source = R"(bR'\x4g')", .value = R"(\x4g)"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    const Token t = token(c.source);
    Arena arena;
    check(c, parse_string_literal(t.text, t.flags, t.range, arena));
  }
}

TEST(ParseStringLiteralTest, Errors) {
  const Case kCases[] = {
      {.source = R"('\U00110000')",
       .error = "Got unexpected unicode at 11..11"},
      // Eight digits never overflow; the value still names no character.
      {.source = R"('\UFFFFFFFF')",
       .error = "Got unexpected unicode at 11..11"},
      {.source = R"('\x4')", .error = "Got unexpected unicode at 4..4"},
      {.source = R"(b'\x')", .error = "Got unexpected unicode at 4..4"},
      {.source = R"('\x4g')", .error = "Got unexpected unicode at 4..5"},
      {.source = "'\\x4\xC3\xA9'", .error = "Got unexpected unicode at 4..6"},
      {.source = R"(u'\x4g')", .error = "Got unexpected unicode at 5..6"},
      {.source = R"('''\u12)", .error = "Got unexpected unicode at 7..7"},
      {.source = R"(b'\x4g')", .error = "Got unexpected unicode at 5..6"},
      {.source = R"('\N{NO SUCH NAME}')",
       .error = "Got unexpected unicode at 4..16"},
      {.source = R"('ab\N{}')", .error = "Got unexpected unicode at 6..6"},
      {.source = "'\\N{LATIN\0SMALL LETTER A}'"sv,
       .error = "Got unexpected unicode at 4..24"},
      {.source = R"('\NA')",
       .error = "Missing `{` in Unicode escape sequence at 3..3"},
      {.source = R"('\N')",
       .error = "Missing `{` in Unicode escape sequence at 3..3"},
      {.source = R"('\N{abc)",
       .error = "Missing `}` in Unicode escape sequence at 7..7"},
      {.source = R"("""\N{abc""")",
       .error = "Missing `}` in Unicode escape sequence at 9..9"},
      {.source = R"('abc\)", .error = "Got unexpected string at 5..5"},
      {.source = R"(b"""abc\)", .error = "Got unexpected string at 8..8"},
      {.source = "b'a\xC3\xA9'",
       .error = "bytes can only contain ASCII literal characters at 3..5"},
      {.source = "rb'\xE2\x82\xAC'",
       .error = "bytes can only contain ASCII literal characters at 3..6"},
      {.source = "b'''\\x4g\xF0\x9F\x98\x80'''",
       .error = "bytes can only contain ASCII literal characters at 8..12"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    const Token t = token(c.source);
    Arena arena;
    check(c, parse_string_literal(t.text, t.flags, t.range, arena));
  }
}

TEST(ParseStringLiteralTest, KeepsTheTextAndConvertsTheFlags) {
  Arena arena;
  {
    const Token t = token("'plain'");
    const auto result = parse_string_literal(t.text, t.flags, t.range, arena);
    ASSERT_TRUE(result.has_value());
    const auto& part = std::get<StringLiteral>(*result);
    EXPECT_EQ(part.value.data(), t.text.data());
    EXPECT_EQ(part.range, t.range);
    EXPECT_EQ(part.node_index.load(), AtomicNodeIndex::kNone);
  }
  {
    const Token t = token(R"(u"a\tb)");
    const auto result = parse_string_literal(t.text, t.flags, t.range, arena);
    ASSERT_TRUE(result.has_value());
    const auto& part = std::get<StringLiteral>(*result);
    EXPECT_EQ(part.value, "a\tb");
    EXPECT_EQ(part.flags.bits(), StringLiteralFlags::kDouble |
                                     StringLiteralFlags::kUPrefix |
                                     StringLiteralFlags::kUnclosed);
  }
  {
    const Token t = token(R"(Rb'''\n''')");
    const auto result = parse_string_literal(t.text, t.flags, t.range, arena);
    ASSERT_TRUE(result.has_value());
    const auto& part = std::get<BytesLiteral>(*result);
    EXPECT_EQ(part.value.data(), t.text.data());
    EXPECT_EQ(part.flags.bits(), BytesLiteralFlags::kTripleQuoted |
                                     BytesLiteralFlags::kRPrefixUpper);
  }
}

// An f-string middle as the lexer hands it over: its text (doubled braces
// reduced) and its range in `source`.
struct MiddleCase {
  std::string_view source;  // the f-string, for the reader
  std::string_view text;
  TextSize start;
  TextSize end;
  bool raw = false;
  std::string_view value = {};
  std::string_view error = {};
};

TEST(ParseInterpolatedStringLiteralElementTest, EscapesAndErrors) {
  const MiddleCase kCases[] = {
      {.source = "f'abc'", .text = "abc", .start = 2, .end = 5, .value = "abc"},
      {.source = R"(f'{{\q}}')",
       .text = R"({\q})",
       .start = 2,
       .end = 8,
       .value = R"({\q})"},
      {.source = R"(f'a\tb{x}')",
       .text = R"(a\tb)",
       .start = 2,
       .end = 6,
       .value = "a\tb"},
      {.source = R"(f'a\{x}')",
       .text = R"(a\)",
       .start = 2,
       .end = 4,
       .value = R"(a\)"},
      {.source = R"(f'\N{BULLET} {x}')",
       .text = R"(\N{BULLET} )",
       .start = 2,
       .end = 13,
       .value = "\xE2\x80\xA2 "},
      {.source = R"(rf'\{{x\n')",
       .text = R"(\{x\n)",
       .start = 3,
       .end = 9,
       .raw = true,
       .value = R"(\{x\n)"},
      {.source = "f'''a\r\n\\\r\nb'''",
       .text = "a\r\n\\\r\nb",
       .start = 4,
       .end = 11,
       .value = "a\r\nb"},
      // An escape never follows the bytes rules in a middle.
      {.source = R"(f'\u0041')",
       .text = R"(\u0041)",
       .start = 2,
       .end = 8,
       .value = "A"},
      // Each brace before an error moves it one byte to the right.
      {.source = R"(f'{{\x4g')",
       .text = R"({\x4g)",
       .start = 2,
       .end = 8,
       .error = "Got unexpected unicode at 7..8"},
      {.source = R"(f'{{}}\N{NOPE}')",
       .text = R"({}\N{NOPE})",
       .start = 2,
       .end = 14,
       .error = "Got unexpected unicode at 9..13"},
      // A backslash before a doubled brace keeps the brace, which still
      // stood for two in the source.
      {.source = R"(f'\{{x\N{NOPE}')",
       .text = R"(\{x\N{NOPE})",
       .start = 2,
       .end = 14,
       .error = "Got unexpected unicode at 9..13"},
      {.source = R"(f'\}}\x4g')",
       .text = R"(\}\x4g)",
       .start = 2,
       .end = 9,
       .error = "Got unexpected unicode at 8..9"},
      // A doubled brace read as a digit or inside a name.
      {.source = R"(f'\x{{')",
       .text = R"(\x{)",
       .start = 2,
       .end = 6,
       .error = "Got unexpected unicode at 4..6"},
      {.source = R"(f'\N{A{{B}')",
       .text = R"(\N{A{B})",
       .start = 2,
       .end = 10,
       .error = "Got unexpected unicode at 5..9"},
      // A named escape inside the name opens with a single brace.
      {.source = R"(f'\N{A{{\N{B}')",
       .text = R"(\N{A{\N{B})",
       .start = 2,
       .end = 13,
       .error = "Got unexpected unicode at 5..12"},
      {.source = R"(f'\N{A\\N{{B}')",
       .text = R"(\N{A\\N{B})",
       .start = 2,
       .end = 13,
       .error = "Got unexpected unicode at 5..12"},
      {.source = R"(f'\N{ab{{cd')",
       .text = R"(\N{ab{cd)",
       .start = 2,
       .end = 11,
       .error = "Missing `}` in Unicode escape sequence at 11..11"},
      {.source = R"(f'{{\x4{x}')",
       .text = R"({\x4)",
       .start = 2,
       .end = 7,
       .error = "Got unexpected unicode at 7..7"},
      {.source = R"(f'\NA')",
       .text = R"(\NA)",
       .start = 2,
       .end = 5,
       .error = "Missing `{` in Unicode escape sequence at 4..4"},
  };
  for (const MiddleCase& c : kCases) {
    SCOPED_TRACE(c.source);
    const AnyStringFlags flags(static_cast<std::uint16_t>(
        AnyStringFlags::kPrefixF |
        (c.raw ? AnyStringFlags::kPrefixRawLower : 0)));
    const TextRange range(c.start, c.end);
    Arena arena;
    const auto result =
        parse_interpolated_string_literal_element(c.text, flags, range, arena);
    check({.source = c.source, .value = c.value, .error = c.error}, result);
    if (result) {
      EXPECT_EQ(result->range, range);
    }
  }
}

TEST(ParseInterpolatedStringLiteralElementTest, KeepsTextWithoutBackslash) {
  constexpr std::string_view kText = "plain {text}";
  Arena arena;
  const auto result = parse_interpolated_string_literal_element(
      kText, AnyStringFlags(AnyStringFlags::kPrefixF), TextRange(2, 16), arena);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->value.data(), kText.data());
  EXPECT_EQ(result->node_index.load(), AtomicNodeIndex::kNone);
}

}  // namespace
}  // namespace divu
