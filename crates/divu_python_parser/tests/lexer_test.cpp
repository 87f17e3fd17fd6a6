#include "lexer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "invariant.h"

namespace divu {
namespace {

// One token as the tests read it: "Kind start..end".
std::string describe(TokenKind kind, TextRange range) {
  return std::string(debug_text(kind)) + " " + range.to_string();
}

struct Lexed {
  std::vector<std::string> tokens;
  std::vector<std::string> errors;
};

// Lexes `source` to EndOfFile; every token and every error as text.
Lexed lex_all(std::string_view source, Mode mode = Mode::Module) {
  Lexer lexer(source, mode);
  Lexed lexed;
  while (true) {
    TokenKind kind = lexer.next_token();
    lexed.tokens.push_back(describe(kind, lexer.current_range()));
    if (kind == TokenKind::EndOfFile) {
      break;
    }
  }
  for (const LexicalError& error : std::move(lexer).finish()) {
    lexed.errors.push_back(error.error.to_string() + " at " +
                           error.location.to_string());
  }
  return lexed;
}

std::string join(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) {
      out += ", ";
    }
    out += part;
  }
  return out;
}

struct TokenCase {
  std::string_view source;
  std::string_view tokens;  // joined with ", "; EndOfFile left out
  std::string_view errors = "";
};

void check_cases(std::span<const TokenCase> cases, Mode mode = Mode::Module) {
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "source: \"" << c.source << "\"");
    Lexed lexed = lex_all(c.source, mode);
    lexed.tokens.pop_back();  // EndOfFile, checked by the stream tests
    EXPECT_EQ(join(lexed.tokens), c.tokens);
    EXPECT_EQ(join(lexed.errors), c.errors);
  }
}

TEST(LexerTest, IndentationAndNewlines) {
  constexpr TokenCase kCases[] = {
      {.source = "if x:\n\tpass\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..7, "
                 "Pass 7..11, Newline 11..12, Dedent 12..12"},
      // A tab and two spaces both reach column 2 but count 1 and 2
      // characters: the two orderings disagree.
      {.source = "if x:\n\ty\n  z\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..7, "
                 "Name 7..8, Newline 8..9, Unknown 9..11, Name 11..12, "
                 "Newline 12..13, Dedent 13..13",
       .errors = "unindent does not match any outer indentation level at "
                 "9..11"},
      // A form feed resets the measure: both lines are at column 2.
      {.source = "if x:\n  y\n\f  z\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..8, "
                 "Name 8..9, Newline 9..10, Name 13..14, Newline 14..15, "
                 "Dedent 15..15"},
      // Blank and comment lines inside a block make no indentation tokens.
      {.source = "if x:\n  y\n\n      # c\n z\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..8, "
                 "Name 8..9, Newline 9..10, NonLogicalNewline 10..11, "
                 "Comment 17..20, NonLogicalNewline 20..21, Unknown 21..22, "
                 "Name 22..23, Newline 23..24",
       .errors = "unindent does not match any outer indentation level at "
                 "21..22"},
      // Open levels at 4 and 8, a line at 2: one Dedent, then the error at
      // the line's first character, then the line itself.
      {.source = "if a:\n    if b:\n        c\n  d\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..10, "
                 "If 10..12, Name 13..14, Colon 14..15, Newline 15..16, "
                 "Indent 16..24, Name 24..25, Newline 25..26, Dedent 28..28, "
                 "Unknown 28..28, Name 28..29, Newline 29..30",
       .errors = "unindent does not match any outer indentation level at "
                 "28..28"},
      {.source = "if a:\n    if b:\n        c\nd\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..10, "
                 "If 10..12, Name 13..14, Colon 14..15, Newline 15..16, "
                 "Indent 16..24, Name 24..25, Newline 25..26, Dedent 26..26, "
                 "Dedent 26..26, Name 26..27, Newline 27..28"},
      // The outer level (4 spaces) and the line (two tabs) share a column
      // but not a character count: one error while dedenting, then one for
      // the pending level itself, which is dropped.
      {.source = "if a:\n    if b:\n    \tc\n\t\td\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..10, "
                 "If 10..12, Name 13..14, Colon 14..15, Newline 15..16, "
                 "Indent 16..21, Name 21..22, Newline 22..23, Unknown 23..25, "
                 "Unknown 25..25, Name 25..26, Newline 26..27, Dedent 27..27",
       .errors = "unindent does not match any outer indentation level at "
                 "23..25, unindent does not match any outer indentation "
                 "level at 25..25"},
      {.source = "(1,\n2)",
       .tokens = "Lpar 0..1, Int 1..2, Comma 2..3, NonLogicalNewline 3..4, "
                 "Int 4..5, Rpar 5..6, Newline 6..6"},
      {.source = "x = (",
       .tokens = "Name 0..1, Equal 2..3, Lpar 4..5, Unknown 5..5, "
                 "Newline 5..5",
       .errors = "unexpected EOF while parsing at 5..5"},
      {.source = "x\r\ny\rz",
       .tokens = "Name 0..1, Newline 1..3, Name 3..4, Newline 4..5, "
                 "Name 5..6, Newline 6..6"},
      {.source = "if x:\n  y",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..8, "
                 "Name 8..9, Newline 9..9, Dedent 9..9"},
      {.source = "x \\\n= 1\n",
       .tokens = "Name 0..1, Equal 4..5, Int 6..7, Newline 7..8"},
      {.source = "x \\ y",
       .tokens = "Name 0..1, Unknown 2..3, Name 4..5, Newline 5..5",
       .errors = "Expected a newline after line continuation character at "
                 "2..3"},
      {.source = "x\\",
       .tokens = "Name 0..1, Unknown 1..2, Newline 2..2",
       .errors = "Expected a newline after line continuation character at "
                 "1..2"},
      {.source = "x\\\n",
       .tokens = "Name 0..1, Unknown 1..3, Newline 3..3",
       .errors = "unexpected EOF while parsing at 1..3"},
      {.source = "\xEF\xBB\xBFx", .tokens = "Name 3..4, Newline 4..4"},
      {.source = "!x\n", .tokens = "Exclamation 0..1, Name 1..2, Newline 2..3"},
      // A tab moves to the next multiple of 2, not 8: a space and a tab
      // measure the same as two spaces.
      {.source = "if x:\n \ty\n  z\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..8, "
                 "Name 8..9, Newline 9..10, Name 12..13, Newline 13..14, "
                 "Dedent 14..14"},
      // Blanks after a continuation in the indentation are not counted.
      {.source = "if x:\n  \\\n      y\n  z\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, "
                 "Indent 6..16, Name 16..17, Newline 17..18, Name 20..21, "
                 "Newline 21..22, Dedent 22..22"},
      {.source = "x\n\\\n",
       .tokens = "Name 0..1, Newline 1..2, Unknown 2..4",
       .errors = "unexpected EOF while parsing at 2..4"},
      {.source = "x \\\ry", .tokens = "Name 0..1, Name 4..5, Newline 5..5"},
      // A NUL at the start of a line is dispatched like a blank line's
      // first character: no indentation token before its error.
      {.source = std::string_view("if a:\n  b\n\0\n", 12),
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..8, "
                 "Name 8..9, Newline 9..10, Unknown 10..11, Newline 11..12, "
                 "Dedent 12..12",
       .errors = std::string_view("Got unexpected token \0 at 10..11", 32)},
      // Nor is a NUL allowed in a comment.
      {.source = std::string_view("a # b\0c\n", 8),
       .tokens = "Name 0..1, Comment 2..7, Newline 7..8",
       .errors = std::string_view("Got unexpected token \0 at 5..6", 30)},
      // Levels 2, 4 and 8, a line at 3: one Dedent, then the level below 4
      // is passed, so one error; the stack keeps the level 2.
      {.source = "if a:\n  if b:\n    if c:\n        d\n   e\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, Indent 6..8, "
                 "If 8..10, Name 11..12, Colon 12..13, Newline 13..14, "
                 "Indent 14..18, If 18..20, Name 21..22, Colon 22..23, "
                 "Newline 23..24, Indent 24..32, Name 32..33, Newline 33..34, "
                 "Dedent 37..37, Unknown 37..37, Name 37..38, Newline 38..39, "
                 "Dedent 39..39",
       .errors = "unindent does not match any outer indentation level at "
                 "37..37"},
  };
  check_cases(kCases);
}

// Runs of spaces are counted a word at a time: widths on either side of a
// word, runs that reach the end of the text, and levels that differ by one.
TEST(LexerTest, SpaceRunsInIndentation) {
  struct Case {
    int spaces;
    std::string_view tokens;
  };
  constexpr Case kWidths[] = {
      {1, "Indent 6..7, Name 7..8"},     {7, "Indent 6..13, Name 13..14"},
      {8, "Indent 6..14, Name 14..15"},  {9, "Indent 6..15, Name 15..16"},
      {15, "Indent 6..21, Name 21..22"}, {16, "Indent 6..22, Name 22..23"},
      {17, "Indent 6..23, Name 23..24"}};
  for (const Case& c : kWidths) {
    SCOPED_TRACE(c.spaces);
    const std::string source =
        "if x:\n" + std::string(static_cast<std::size_t>(c.spaces), ' ') + "y";
    const std::string tokens = join(lex_all(source).tokens);
    EXPECT_NE(tokens.find(c.tokens), std::string::npos) << tokens;
  }
  constexpr TokenCase kCases[] = {
      {.source = "x\n   ", .tokens = "Name 0..1, Newline 1..2"},
      {.source = "x\n        ", .tokens = "Name 0..1, Newline 1..2"},
      {.source = "x\n           ", .tokens = "Name 0..1, Newline 1..2"},
      {.source = "x\n        #c",
       .tokens = "Name 0..1, Newline 1..2, Comment 10..12"},
      // A tab after a run of nine.
      {.source = "if x:\n         \ty\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, "
                 "Indent 6..16, Name 16..17, Newline 17..18, Dedent 18..18"},
      {.source = "if x:\n                 y\n                z\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, "
                 "Indent 6..23, Name 23..24, Newline 24..25, Unknown 25..41, "
                 "Name 41..42, Newline 42..43",
       .errors = "unindent does not match any outer indentation level at "
                 "25..41"},
      {.source = "if x:\n         if y:\n                 z\n         w\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, "
                 "Indent 6..15, If 15..17, Name 18..19, Colon 19..20, "
                 "Newline 20..21, Indent 21..38, Name 38..39, Newline 39..40, "
                 "Dedent 49..49, Name 49..50, Newline 50..51, Dedent 51..51"},
  };
  check_cases(kCases);
}

TEST(LexerTest, NumbersAndOperators) {
  constexpr TokenCase kCases[] = {
      {.source = "1_000", .tokens = "Int 0..5, Newline 5..5"},
      {.source = "1__0", .tokens = "Int 0..1, Name 1..4, Newline 4..4"},
      {.source = "1_", .tokens = "Int 0..1, Name 1..2, Newline 2..2"},
      {.source = "0777",
       .tokens = "Unknown 0..4, Newline 4..4",
       .errors = "Invalid decimal integer literal at 0..4"},
      {.source = "0 00 0_0 0e5",
       .tokens = "Int 0..1, Int 2..4, Int 5..8, Float 9..12, Newline 12..12"},
      {.source = "0x",
       .tokens = "Unknown 0..2, Newline 2..2",
       .errors = "ParseIntError { kind: Empty } at 0..2"},
      {.source = "0b12", .tokens = "Int 0..3, Int 3..4, Newline 4..4"},
      {.source = "1._5",
       .tokens = "Unknown 2..3, Int 3..4, Newline 4..4",
       .errors = "Invalid Syntax at 2..3"},
      {.source = "1.e5 1. .5 1e+5",
       .tokens = "Float 0..4, Float 5..7, Float 8..10, Float 11..15, "
                 "Newline 15..15"},
      {.source = "1e", .tokens = "Int 0..1, Name 1..2, Newline 2..2"},
      {.source = "3j 1.5J",
       .tokens = "Complex 0..2, Complex 3..7, Newline 7..7"},
      {.source = "... ..",
       .tokens = "Ellipsis 0..3, Dot 4..5, Dot 5..6, Newline 6..6"},
      {.source = "**= //= >>= <<= -> := != ~",
       .tokens = "DoubleStarEqual 0..3, DoubleSlashEqual 4..7, "
                 "RightShiftEqual 8..11, LeftShiftEqual 12..15, Rarrow 16..18, "
                 "ColonEqual 19..21, NotEqual 22..24, Tilde 25..26, "
                 "Newline 26..26"},
      {.source = "$",
       .tokens = "Unknown 0..1, Newline 1..1",
       .errors = "Got unexpected token $ at 0..1"},
      {.source = "a ? b",
       .tokens = "Name 0..1, Unknown 2..3, Name 4..5, Newline 5..5",
       .errors = "Got unexpected token ? at 2..3"},
      {.source = "$\n",
       .tokens = "Unknown 0..1, Newline 1..2",
       .errors = "Got unexpected token $ at 0..1"},
      // A non-ASCII character that starts no name leaves the state alone, so
      // the line stays empty and its line break is not logical.
      {.source = "\xE2\x82\xAC\n",
       .tokens = "Unknown 0..3, NonLogicalNewline 3..4",
       .errors = "Got unexpected token \xE2\x82\xAC at 0..3"},
      {.source = std::string_view("a\0b", 3),
       .tokens = "Name 0..1, Unknown 1..2, Name 2..3, Newline 3..3",
       .errors = std::string_view("Got unexpected token \0 at 1..2", 30)},
  };
  check_cases(kCases);
}

TEST(LexerTest, Strings) {
  constexpr TokenCase kCases[] = {
      {.source = "rb'x' Rb'x' bR'x' BR'x' u'x'",
       .tokens = "String 0..5, String 6..11, String 12..17, String 18..23, "
                 "String 24..28, Newline 28..28"},
      {.source = "ur'x'", .tokens = "Name 0..2, String 2..5, Newline 5..5"},
      {.source = "bf'x'", .tokens = "Name 0..2, String 2..5, Newline 5..5"},
      {.source = "'a\\\nb'", .tokens = "String 0..6, Newline 6..6"},
      {.source = "x = 'a\\\\\nb",
       .tokens = "Name 0..1, Equal 2..3, String 4..8, Newline 8..9, "
                 "Name 9..10, Newline 10..10",
       .errors = "missing closing quote in string literal at 4..8"},
      {.source = "'''a\nb''' \"\"\"\\\"\"\"\"",
       .tokens = "String 0..9, String 10..18, Newline 18..18"},
      {.source = "b'''abc",
       .tokens = "String 0..7, Newline 7..7",
       .errors = "missing closing quote in string literal at 0..7"},
      {.source = "'\\'",
       .tokens = "String 0..3, Newline 3..3",
       .errors = "missing closing quote in string literal at 0..3"},
      // Only a name of one or two letters right before a quote is a
      // prefix.
      {.source = "abc'x'", .tokens = "Name 0..3, String 3..6, Newline 6..6"},
      {.source = "r2'x'", .tokens = "Name 0..2, String 2..5, Newline 5..5"},
      {.source = "r\u00e9'x'",
       .tokens = "Name 0..3, String 3..6, Newline 6..6"},
      {.source = "rb 'x'", .tokens = "Name 0..2, String 3..6, Newline 6..6"},
      {.source = "x = rb",
       .tokens = "Name 0..1, Equal 2..3, Name 4..6, "
                 "Newline 6..6"},
      {.source = "b'",
       .tokens = "String 0..2, Newline 2..2",
       .errors = "missing closing quote in string literal at 0..2"},
  };
  check_cases(kCases);
}

TEST(LexerTest, InterpolatedStrings) {
  constexpr TokenCase kCases[] = {
      {.source = "f'a{{b}}c'",
       .tokens = "FStringStart 0..2, FStringMiddle 2..9, FStringEnd 9..10, "
                 "Newline 10..10"},
      // After the colon the braces are not doubled: the first opens a
      // nested field.
      {.source = "f'{x:{{}}}'",
       .tokens = "FStringStart 0..2, Lbrace 2..3, Name 3..4, Colon 4..5, "
                 "Lbrace 5..6, Lbrace 6..7, Rbrace 7..8, Rbrace 8..9, "
                 "Rbrace 9..10, FStringEnd 10..11, Newline 11..11"},
      {.source = "f'{x!r:>10}'",
       .tokens = "FStringStart 0..2, Lbrace 2..3, Name 3..4, "
                 "Exclamation 4..5, Name 5..6, Colon 6..7, "
                 "FStringMiddle 7..10, Rbrace 10..11, FStringEnd 11..12, "
                 "Newline 12..12"},
      {.source = "f'{d[1:2]}'",
       .tokens = "FStringStart 0..2, Lbrace 2..3, Name 3..4, Lsqb 4..5, "
                 "Int 5..6, Colon 6..7, Int 7..8, Rsqb 8..9, Rbrace 9..10, "
                 "FStringEnd 10..11, Newline 11..11"},
      {.source = "f'{x:=5}'",
       .tokens = "FStringStart 0..2, Lbrace 2..3, Name 3..4, Colon 4..5, "
                 "FStringMiddle 5..7, Rbrace 7..8, FStringEnd 8..9, "
                 "Newline 9..9"},
      {.source = "f'a}'",
       .tokens = "FStringStart 0..2, FStringMiddle 2..3, Unknown 3..4, "
                 "FStringEnd 4..5, Newline 5..5",
       .errors = "f-string: single `}` is not allowed at 3..4"},
      {.source = "f'abc\n",
       .tokens = "FStringStart 0..2, FStringMiddle 2..5, Newline 5..6",
       .errors = "f-string: unterminated string at 2..5"},
      {.source = "f'''abc",
       .tokens = "FStringStart 0..4, FStringMiddle 4..7, Newline 7..7",
       .errors = "f-string: unterminated triple-quoted string at 4..7"},
      // The error pops the string and restores the nesting, so the line
      // break ends the logical line.
      {.source = "f'{x:a\n",
       .tokens = "FStringStart 0..2, Lbrace 2..3, Name 3..4, Colon 4..5, "
                 "FStringMiddle 5..6, Newline 6..7",
       .errors = "f-string: newlines are not allowed in format specifiers "
                 "when using single quotes at 5..6"},
      {.source = "f'{x",
       .tokens = "FStringStart 0..2, Lbrace 2..3, Name 3..4, Newline 4..4",
       .errors = "f-string: unterminated string at 4..4"},
      // A backslash before a brace stays in the text; the brace opens a field.
      {.source = "f'\\{x}'",
       .tokens = "FStringStart 0..2, FStringMiddle 2..3, Lbrace 3..4, "
                 "Name 4..5, Rbrace 5..6, FStringEnd 6..7, Newline 7..7"},
      // A named escape keeps its closing brace inside the literal part.
      {.source = "f'\\N{BULLET} {x}'",
       .tokens = "FStringStart 0..2, FStringMiddle 2..13, Lbrace 13..14, "
                 "Name 14..15, Rbrace 15..16, FStringEnd 16..17, "
                 "Newline 17..17"},
      {.source = "rf'\\N{x}'",
       .tokens = "FStringStart 0..3, FStringMiddle 3..5, Lbrace 5..6, "
                 "Name 6..7, Rbrace 7..8, FStringEnd 8..9, Newline 9..9"},
      {.source = "t'{x}' T\"a\"",
       .tokens = "TStringStart 0..2, Lbrace 2..3, Name 3..4, Rbrace 4..5, "
                 "TStringEnd 5..6, TStringStart 7..9, TStringMiddle 9..10, "
                 "TStringEnd 10..11, Newline 11..11"},
      // A t-string's spec and nested field lex as an f-string's do.
      {.source = "t'{x!r:>{w}}{{'",
       .tokens = "TStringStart 0..2, Lbrace 2..3, Name 3..4, "
                 "Exclamation 4..5, Name 5..6, Colon 6..7, "
                 "TStringMiddle 7..8, Lbrace 8..9, Name 9..10, Rbrace 10..11, "
                 "Rbrace 11..12, TStringMiddle 12..14, TStringEnd 14..15, "
                 "Newline 15..15"},
      {.source = "t'abc",
       .tokens = "TStringStart 0..2, TStringMiddle 2..5, Newline 5..5",
       .errors = "t-string: unterminated string at 2..5"},
      {.source = "f'''{\nx}'''",
       .tokens = "FStringStart 0..4, Lbrace 4..5, NonLogicalNewline 5..6, "
                 "Name 6..7, Rbrace 7..8, FStringEnd 8..11, Newline 11..11"},
      {.source = "t'a}'",
       .tokens = "TStringStart 0..2, TStringMiddle 2..3, Unknown 3..4, "
                 "TStringEnd 4..5, Newline 5..5",
       .errors = "t-string: single `}` is not allowed at 3..4"},
      // At the end of the text the open strings are reported innermost
      // first, each by its own kind.
      {.source = "f'{t\"{x",
       .tokens = "FStringStart 0..2, Lbrace 2..3, TStringStart 3..5, "
                 "Lbrace 5..6, Name 6..7, Newline 7..7",
       .errors = "t-string: unterminated string at 7..7, f-string: "
                 "unterminated string at 7..7"},
      // The string gives back the nesting it started at: the bracket
      // around it is still open.
      {.source = "(f'{x",
       .tokens = "Lpar 0..1, FStringStart 1..3, Lbrace 3..4, Name 4..5, "
                 "Unknown 5..5, Newline 5..5",
       .errors = "f-string: unterminated string at 5..5, unexpected EOF "
                 "while parsing at 5..5"},
      // Only a colon directly inside the field's braces opens a spec.
      {.source = "f'{a[b:c]:d}'",
       .tokens = "FStringStart 0..2, Lbrace 2..3, Name 3..4, Lsqb 4..5, "
                 "Name 5..6, Colon 6..7, Name 7..8, Rsqb 8..9, Colon 9..10, "
                 "FStringMiddle 10..11, Rbrace 11..12, FStringEnd 12..13, "
                 "Newline 13..13"},
      // Nested specs: each field's colon opens one more level, each "}"
      // closes one.
      {.source = "f'{x:{y:a}b}'",
       .tokens = "FStringStart 0..2, Lbrace 2..3, Name 3..4, Colon 4..5, "
                 "Lbrace 5..6, Name 6..7, Colon 7..8, FStringMiddle 8..9, "
                 "Rbrace 9..10, FStringMiddle 10..11, Rbrace 11..12, "
                 "FStringEnd 12..13, Newline 13..13"},
  };
  check_cases(kCases);
}

TEST(LexerTest, ParenthesizedExpressionMode) {
  // The text is read as if inside parentheses: line breaks are not logical,
  // and the one open level is not an unexpected end.
  constexpr TokenCase kCases[] = {
      {.source = "a +\nb",
       .tokens = "Name 0..1, Plus 2..3, "
                 "NonLogicalNewline 3..4, Name 4..5, "
                 "Newline 5..5"},
      {.source = "(a",
       .tokens = "Lpar 0..1, Name 1..2, Unknown 2..2, "
                 "Newline 2..2",
       .errors = "unexpected EOF while parsing at 2..2"},
  };
  check_cases(kCases, Mode::ParenthesizedExpression);
}

TEST(LexerTest, RefusesTextsOf4GiB) {
  // Only the size is looked at: the view never reads past its first bytes.
  const char bytes[4] = {'x', 'y', 'z', 0};
  std::string_view huge(bytes, std::size_t{1} << 32);  // 2^32 bytes
  try {
    Lexer lexer(huge, Mode::Module);
    ADD_FAILURE() << "a text of 4 GiB was accepted";
  } catch (const trelk::InvariantFailure& failure) {
    EXPECT_EQ(failure.message(),
              "Lexer only supports files with a size up to 4GB");
  }
}

TEST(LexerTest, IpythonEscapeCommands) {
  struct Case {
    std::string_view source;
    IpyEscapeKind kind;
    std::string_view value;
  };
  constexpr Case kCases[] = {
      {.source = "!ls -la\n", .kind = IpyEscapeKind::Shell, .value = "ls -la"},
      {.source = "!!ls", .kind = IpyEscapeKind::ShellCapture, .value = "ls"},
      {.source = "%%timeit x",
       .kind = IpyEscapeKind::Magic2,
       .value = "timeit x"},
      {.source = "!ls\\\n -l", .kind = IpyEscapeKind::Shell, .value = "ls -l"},
      {.source = "!a\\b", .kind = IpyEscapeKind::Shell, .value = "a\\b"},
      {.source = "?foo??", .kind = IpyEscapeKind::Help2, .value = "foo"},
      {.source = "??foo?", .kind = IpyEscapeKind::Help, .value = "foo"},
      {.source = "%foo?", .kind = IpyEscapeKind::Help, .value = "%foo"},
      {.source = "%%foo??", .kind = IpyEscapeKind::Help2, .value = "%%foo"},
      {.source = "!what???", .kind = IpyEscapeKind::Shell, .value = "what???"},
      {.source = "!a ?", .kind = IpyEscapeKind::Shell, .value = "a ?"},
      {.source = "/f a", .kind = IpyEscapeKind::Paren, .value = "f a"},
      {.source = ",f a", .kind = IpyEscapeKind::Quote, .value = "f a"},
      {.source = ";f a", .kind = IpyEscapeKind::Quote2, .value = "f a"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    Lexer lexer(c.source, Mode::Ipython);
    ASSERT_EQ(lexer.next_token(), TokenKind::IpyEscapeCommand);
    auto value = std::get<IpyEscapeCommandValue>(lexer.take_value());
    EXPECT_EQ(value.kind, c.kind);
    EXPECT_EQ(value.value, c.value);
  }
  constexpr TokenCase kStreams[] = {
      {.source = "x = !pwd\n",
       .tokens = "Name 0..1, Equal 2..3, IpyEscapeCommand 4..8, Newline 8..9"},
      {.source = "foo?", .tokens = "Name 0..3, Question 3..4, Newline 4..4"},
      {.source = "a % b",
       .tokens = "Name 0..1, Percent 2..3, Name 4..5, "
                 "Newline 5..5"},
      // Inside brackets "=" does not open a command.
      {.source = "(x = !ls)",
       .tokens = "Lpar 0..1, Name 1..2, Equal 3..4, Exclamation 5..6, "
                 "Name 6..8, Rpar 8..9, Newline 9..9"},
      // An indented line starts a logical line too.
      {.source = "if x:\n    %cd ..\n",
       .tokens = "If 0..2, Name 3..4, Colon 4..5, Newline 5..6, "
                 "Indent 6..10, IpyEscapeCommand 10..16, Newline 16..17, "
                 "Dedent 17..17"},
      // A NUL ends the command.
      {.source = std::string_view("!ls\0x", 5),
       .tokens = "IpyEscapeCommand 0..3, Unknown 3..4, Name 4..5, "
                 "Newline 5..5",
       .errors = std::string_view("Got unexpected token \0 at 3..4", 30)},
  };
  check_cases(kStreams, Mode::Ipython);
}

TEST(LexerTest, Values) {
  Lexer lexer(
      "\xEF\xAC\x81le x 0xff 18446744073709551616 1_8446744073709551616 "
      "2.5 3j 'a\\'b' f'a{{b}}c' 0x1_0000_0000_0000_0000",
      Mode::Module);
  auto next_value = [&] {
    lexer.next_token();
    return lexer.take_value();
  };
  EXPECT_EQ(std::get<NameValue>(next_value()).text.view(), "file");
  EXPECT_EQ(std::get<NameValue>(next_value()).text.view(), "x");
  EXPECT_EQ(std::get<IntValue>(next_value()).value(), Int::small(255));
  EXPECT_EQ(std::get<IntValue>(next_value()).value().to_string(),
            "18446744073709551616");
  // Underscores are dropped from a big decimal's text; the value keeps the
  // copy alive after the lexer moves on.
  TokenValue big = next_value();
  EXPECT_EQ(std::get<IntValue>(big).value().to_string(),
            "18446744073709551616");
  EXPECT_EQ(std::get<double>(next_value()), 2.5);
  EXPECT_EQ(std::get<ComplexValue>(next_value()),
            (ComplexValue{.real = 0, .imag = 3}));
  EXPECT_EQ(std::get<StringValue>(next_value()).text.view(), "a\\'b");
  next_value();  // FStringStart
  EXPECT_EQ(std::get<InterpolatedStringMiddleValue>(next_value()).text.view(),
            "a{b}c");
  next_value();  // FStringEnd
  EXPECT_EQ(std::get<IntValue>(next_value()).value().to_string(),
            "0x1_0000_0000_0000_0000");
  EXPECT_EQ(std::get<IntValue>(big).value().to_string(),
            "18446744073709551616");

  // A non-ASCII name that normalises to a keyword is still a name.
  Lexer keyword("\xF0\x9D\x90\xA2\x66",
                Mode::Module);  // mathematical bold i, f
  EXPECT_EQ(keyword.next_token(), TokenKind::Name);
  EXPECT_EQ(std::get<NameValue>(keyword.take_value()).text.view(), "if");
}

TEST(LexerTest, Keywords) {
  // Every keyword and soft keyword is its own kind with no value.
  for (int k = static_cast<int>(TokenKind::And);
       k <= static_cast<int>(TokenKind::Type); ++k) {
    const auto kind = static_cast<TokenKind>(k);
    SCOPED_TRACE(debug_text(kind));
    Lexer lexer(source_text(kind), Mode::Module);
    EXPECT_EQ(lexer.next_token(), kind);
    EXPECT_EQ(lexer.current_value().index(), 0u);
  }
  // Words that share a keyword's first letters, case or length are names.
  constexpr std::string_view kNames[] = {
      "i",      "iff",     "If",   "IF",        "none",      "true",
      "_if",    "if_",     "matc", "matches",   "continue_", "nonlocals",
      "asyncs", "lambda1", "Type", "continuee", "finall",    "__"};
  for (std::string_view name : kNames) {
    SCOPED_TRACE(name);
    Lexer lexer(name, Mode::Module);
    EXPECT_EQ(lexer.next_token(), TokenKind::Name);
    EXPECT_EQ(std::get<NameValue>(lexer.take_value()).text.view(), name);
  }
}

TEST(LexerTest, FloatValues) {
  // The nearest double, as CPython's float() reads the same text; values
  // beyond the range of doubles round to infinity or zero without an error.
  struct Case {
    std::string_view source;
    TokenKind kind;
    double value;
  };
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr Case kCases[] = {
      {.source = "0.1", .kind = TokenKind::Float, .value = 0.1},
      {.source = "1_0.2_5e1_0", .kind = TokenKind::Float, .value = 10.25e10},
      {.source = "1e400", .kind = TokenKind::Float, .value = kInf},
      {.source = "1e-400", .kind = TokenKind::Float, .value = 0.0},
      {.source = "0.0e-99999999999999999999",
       .kind = TokenKind::Float,
       .value = 0.0},
      {.source = "1.7976931348623158e308",
       .kind = TokenKind::Float,
       .value = std::numeric_limits<double>::max()},
      {.source = "1.7976931348623159e308",
       .kind = TokenKind::Float,
       .value = kInf},
      // Half the smallest subnormal, just above and just below.
      {.source = "2.4703282292062328e-324",
       .kind = TokenKind::Float,
       .value = std::numeric_limits<double>::denorm_min()},
      {.source = "2.4703282292062327e-324",
       .kind = TokenKind::Float,
       .value = 0.0},
      {.source = "99999999999999999999j",
       .kind = TokenKind::Complex,
       .value = 1e20},
      {.source = "1_0J", .kind = TokenKind::Complex, .value = 10.0},
      {.source = ".5e-1j", .kind = TokenKind::Complex, .value = 0.05},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    Lexer lexer(c.source, Mode::Module);
    ASSERT_EQ(lexer.next_token(), c.kind);
    EXPECT_EQ(lexer.current_range(),
              TextRange(0, static_cast<TextSize>(c.source.size())));
    TokenValue value = lexer.take_value();
    double got = c.kind == TokenKind::Float
                     ? std::get<double>(value)
                     : std::get<ComplexValue>(value).imag;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got),
              std::bit_cast<std::uint64_t>(c.value));
    EXPECT_TRUE(lexer.errors().empty());
  }
}

TEST(LexerTest, EndOfFileRepeats) {
  Lexer lexer("if x:\n  y", Mode::Module);
  while (lexer.next_token() != TokenKind::EndOfFile) {
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lexer.next_token(), TokenKind::EndOfFile);
    EXPECT_EQ(lexer.current_range(), TextRange(9, 9));
  }
  EXPECT_TRUE(lexer.errors().empty());
}

TEST(LexerTest, NulBytesAreText) {
  // A NUL inside a string or a middle is an ordinary character: nothing
  // stops at it, and the values keep it. In a comment, the comment still
  // ends at the line end, and the NUL is reported.
  constexpr std::string_view kSource("'a\0b' f'a\0b' '''\0''' # \0c\nx", 27);
  Lexed lexed = lex_all(kSource);
  EXPECT_EQ(join(lexed.tokens),
            "String 0..5, FStringStart 6..8, FStringMiddle 8..11, "
            "FStringEnd 11..12, String 13..20, Comment 21..25, "
            "Newline 25..26, Name 26..27, Newline 27..27, EndOfFile 27..27");
  EXPECT_EQ(lexed.errors.size(), 1u);
  Lexer lexer(kSource, Mode::Module);
  lexer.next_token();
  EXPECT_EQ(std::get<StringValue>(lexer.take_value()).text.view(),
            std::string_view("a\0b", 3));
  lexer.next_token();
  lexer.next_token();
  EXPECT_EQ(
      std::get<InterpolatedStringMiddleValue>(lexer.take_value()).text.view(),
      std::string_view("a\0b", 3));
}

TEST(LexerTest, StartOffsetCountsFromTheWholeText) {
  // Lexing may begin inside the text; offsets stay absolute, and the start
  // counts as the start of a line.
  Lexer lexer("ab cd", Mode::Module, 3);
  EXPECT_EQ(lexer.next_token(), TokenKind::Name);
  EXPECT_EQ(lexer.current_range(), TextRange(3, 5));
  EXPECT_EQ(std::get<NameValue>(lexer.take_value()).text.view(), "cd");
  EXPECT_EQ(lexer.next_token(), TokenKind::Newline);
  EXPECT_EQ(lexer.current_range(), TextRange(5, 5));

  Lexer indented("x\n  y", Mode::Module, 2);
  EXPECT_EQ(indented.next_token(), TokenKind::Indent);
  EXPECT_EQ(indented.current_range(), TextRange(2, 4));
  EXPECT_EQ(indented.next_token(), TokenKind::Name);
  EXPECT_EQ(indented.current_range(), TextRange(4, 5));
}

TEST(LexerTest, StringFlags) {
  struct Case {
    std::string_view source;
    TokenFlags::Bits flags;
  };
  constexpr Case kCases[] = {
      {.source = "rb'x'",
       .flags = TokenFlags::kPrefixB | TokenFlags::kPrefixRawLower},
      {.source = "bR\"x\"",
       .flags = TokenFlags::kPrefixB | TokenFlags::kPrefixRawUpper |
                TokenFlags::kDoubleQuote},
      {.source = "'''x",
       .flags = TokenFlags::kTripleQuote | TokenFlags::kUnclosed},
      {.source = "Rf\"\"\"x",
       .flags = TokenFlags::kPrefixF | TokenFlags::kPrefixRawUpper |
                TokenFlags::kDoubleQuote | TokenFlags::kTripleQuote},
      {.source = "U'x'", .flags = TokenFlags::kPrefixU},
      {.source = "Tr'x'",
       .flags = TokenFlags::kPrefixT | TokenFlags::kPrefixRawLower},
      {.source = "rT\"\"\"x\"\"\"",
       .flags = TokenFlags::kPrefixT | TokenFlags::kPrefixRawLower |
                TokenFlags::kDoubleQuote | TokenFlags::kTripleQuote},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    Lexer lexer(c.source, Mode::Module);
    lexer.next_token();
    EXPECT_EQ(lexer.current_flags().bits(), c.flags);
  }
}

// Every token of `source` from a fresh lexer, with its value and flags.
struct FullToken {
  TokenKind kind;
  TextRange range;
  TokenFlags flags;
  TokenValue value;
  friend bool operator==(const FullToken&, const FullToken&) = default;
};
std::vector<FullToken> rest_of(Lexer& lexer) {
  std::vector<FullToken> tokens;
  while (true) {
    TokenKind kind = lexer.next_token();
    tokens.push_back({kind, lexer.current_range(), lexer.current_flags(),
                      lexer.current_value()});
    if (kind == TokenKind::EndOfFile) {
      return tokens;
    }
  }
}

TEST(LexerTest, RewindReproducesTheTokens) {
  constexpr std::string_view kSources[] = {
      "if a:\n    if b:\n        c\n  d\n",
      "f'{x:{y}>{z!r}}' + t'''a{\nb}c''' $ 0777 'open\n",
      "x = (1,\n 2) \\\n + f'{a\n",
  };
  for (std::string_view source : kSources) {
    SCOPED_TRACE(source);
    Lexer reference(source, Mode::Module);
    std::vector<FullToken> all = rest_of(reference);
    std::vector<LexicalError> all_errors = std::move(reference).finish();
    for (std::size_t skip = 0; skip < all.size(); ++skip) {
      SCOPED_TRACE(skip);
      Lexer lexer(source, Mode::Module);
      for (std::size_t i = 0; i < skip; ++i) {
        lexer.next_token();
      }
      LexerCheckpoint checkpoint = lexer.checkpoint();
      std::vector<FullToken> first = rest_of(lexer);
      lexer.rewind(std::move(checkpoint));
      std::vector<FullToken> second = rest_of(lexer);
      EXPECT_EQ(first, second);
      EXPECT_TRUE(std::equal(second.begin(), second.end(),
                             all.begin() + static_cast<std::ptrdiff_t>(skip)));
      EXPECT_EQ(std::move(lexer).finish(), all_errors);
    }
  }
}

TEST(LexerTest, RewindDropsLaterErrors) {
  Lexer lexer("a $ b", Mode::Module);
  lexer.next_token();
  LexerCheckpoint checkpoint = lexer.checkpoint();
  EXPECT_EQ(lexer.next_token(), TokenKind::Unknown);
  EXPECT_EQ(lexer.errors().size(), 1u);
  lexer.rewind(std::move(checkpoint));
  EXPECT_TRUE(lexer.errors().empty());
  EXPECT_EQ(lexer.current_kind(), TokenKind::Name);
  EXPECT_EQ(lexer.current_range(), TextRange(0, 1));
}

TEST(LexerTest, RewindAfterAReLexThatDroppedAnEarlierError) {
  // The checkpoint counts the unclosed-string error of its own token; the
  // re-lex then removes it, so the list is shorter than the checkpoint's
  // position when the parser backtracks. Nothing is left to cut.
  Lexer lexer("f'{'", Mode::Module);
  lexer.next_token();  // FStringStart
  lexer.next_token();  // {
  ASSERT_EQ(lexer.next_token(), TokenKind::String);
  LexerCheckpoint checkpoint = lexer.checkpoint();
  lexer.re_lex_string_token_in_interpolation_element(
      InterpolatedStringKind::FString);
  ASSERT_TRUE(lexer.errors().empty());
  lexer.rewind(std::move(checkpoint));
  EXPECT_TRUE(lexer.errors().empty());
  EXPECT_EQ(lexer.current_kind(), TokenKind::String);
  EXPECT_EQ(lexer.current_range(), TextRange(3, 4));
  EXPECT_EQ(lexer.next_token(), TokenKind::Newline);
}

TEST(LexerTest, ReLexLogicalToken) {
  // The parser gives up on "(" and wants the newline inside to end the line.
  Lexer lexer("(a\nb", Mode::Module);
  lexer.next_token();  // (
  lexer.next_token();  // a
  ASSERT_EQ(lexer.next_token(), TokenKind::NonLogicalNewline);
  lexer.next_token();  // b
  EXPECT_TRUE(lexer.re_lex_logical_token(2));
  EXPECT_EQ(lexer.current_kind(), TokenKind::Newline);
  EXPECT_EQ(lexer.current_range(), TextRange(2, 3));
  EXPECT_EQ(join(lex_all("").tokens), "EndOfFile 0..0");
  std::vector<std::string> rest;
  for (TokenKind kind = lexer.next_token(); kind != TokenKind::EndOfFile;
       kind = lexer.next_token()) {
    rest.push_back(describe(kind, lexer.current_range()));
  }
  EXPECT_EQ(join(rest), "Name 3..4, Newline 4..4");
  EXPECT_TRUE(lexer.errors().empty());

  Lexer closed("x", Mode::Module);
  closed.next_token();
  EXPECT_FALSE(closed.re_lex_logical_token(0));  // nesting is 0

  // Going back from a closing bracket puts the lexer inside it again, so
  // the newline before it stays non-logical.
  Lexer bracket("[(\n)", Mode::Module);
  bracket.next_token();  // [
  bracket.next_token();  // (
  bracket.next_token();  // newline
  ASSERT_EQ(bracket.next_token(), TokenKind::Rpar);
  EXPECT_TRUE(bracket.re_lex_logical_token(2));
  EXPECT_EQ(bracket.current_kind(), TokenKind::NonLogicalNewline);
  EXPECT_EQ(bracket.current_range(), TextRange(2, 3));

  // Without a newline to go back to, the nesting still closes.
  Lexer no_newline("(a", Mode::Module);
  no_newline.next_token();
  no_newline.next_token();
  EXPECT_FALSE(no_newline.re_lex_logical_token(std::nullopt));
  EXPECT_EQ(no_newline.next_token(), TokenKind::Newline);
}

TEST(LexerTest, ReLexRawStringInFormatSpec) {
  Lexer lexer("f'{x!r'", Mode::Module);
  for (int i = 0; i < 4; ++i) {
    lexer.next_token();  // FStringStart, {, x, !
  }
  ASSERT_EQ(lexer.next_token(), TokenKind::String);
  ASSERT_EQ(lexer.errors().size(), 1u);
  lexer.re_lex_raw_string_in_format_spec();
  EXPECT_EQ(lexer.current_kind(), TokenKind::Name);
  EXPECT_EQ(lexer.current_range(), TextRange(5, 6));
  EXPECT_TRUE(lexer.current_flags().is_empty());
  EXPECT_EQ(std::get<NameValue>(lexer.take_value()).text.view(), "r");
  EXPECT_TRUE(lexer.errors().empty());
  // Lexing resumes at the quote, which now reads as a new string.
  EXPECT_EQ(lexer.next_token(), TokenKind::String);
  EXPECT_EQ(lexer.current_range(), TextRange(6, 7));

  // A closed raw string is left alone.
  Lexer closed("r'x'", Mode::Module);
  closed.next_token();
  closed.re_lex_raw_string_in_format_spec();
  EXPECT_EQ(closed.current_kind(), TokenKind::String);
}

TEST(LexerTest, ReLexStringTokenInInterpolationElement) {
  Lexer lexer("f\"{\"  # c\nx", Mode::Module);
  lexer.next_token();  // FStringStart
  lexer.next_token();  // {
  ASSERT_EQ(lexer.next_token(), TokenKind::String);
  lexer.re_lex_string_token_in_interpolation_element(
      InterpolatedStringKind::FString);
  EXPECT_EQ(lexer.current_kind(), TokenKind::FStringEnd);
  EXPECT_EQ(lexer.current_range(), TextRange(3, 4));
  EXPECT_TRUE(lexer.errors().empty());
  std::vector<std::string> rest;
  for (TokenKind kind = lexer.next_token(); kind != TokenKind::EndOfFile;
       kind = lexer.next_token()) {
    rest.push_back(describe(kind, lexer.current_range()));
  }
  EXPECT_EQ(join(rest),
            "Comment 6..9, Newline 9..10, Name 10..11, "
            "Newline 11..11");

  // Something other than blanks after the quote: the string stays.
  Lexer other("f'{'x", Mode::Module);
  other.next_token();
  other.next_token();
  other.next_token();
  other.re_lex_string_token_in_interpolation_element(
      InterpolatedStringKind::FString);
  EXPECT_EQ(other.current_kind(), TokenKind::String);

  struct Case {
    std::string_view source;
    InterpolatedStringKind kind;
    std::string_view tokens;  // the current token after the re-lex, then
                              // the rest, EndOfFile left out
    std::string_view errors;
  };
  constexpr Case kCases[] = {
      // The end takes the nesting of the string's start: the bracket
      // around it is still open at the end of the text.
      {.source = "(f'{'",
       .kind = InterpolatedStringKind::FString,
       .tokens = "FStringEnd 4..5, Unknown 5..5, Newline 5..5",
       .errors = "unexpected EOF while parsing at 5..5"},
      // A triple-quoted t-string ends at three quotes.
      {.source = "t'''{'''",
       .kind = InterpolatedStringKind::TString,
       .tokens = "TStringEnd 5..8, Newline 8..8",
       .errors = ""},
      // The quoting differs from the enclosing string's: nothing changes.
      {.source = "f'''{'",
       .kind = InterpolatedStringKind::FString,
       .tokens = "String 5..6, Newline 6..6",
       .errors = "missing closing quote in string literal at 5..6, "
                 "f-string: unterminated string at 6..6"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    Lexer case_lexer(c.source, Mode::Module);
    while (case_lexer.next_token() != TokenKind::String) {
    }
    case_lexer.re_lex_string_token_in_interpolation_element(c.kind);
    std::vector<std::string> tokens = {
        describe(case_lexer.current_kind(), case_lexer.current_range())};
    for (TokenKind kind = case_lexer.next_token(); kind != TokenKind::EndOfFile;
         kind = case_lexer.next_token()) {
      tokens.push_back(describe(kind, case_lexer.current_range()));
    }
    EXPECT_EQ(join(tokens), c.tokens);
    std::vector<std::string> errors;
    for (const LexicalError& error : case_lexer.errors()) {
      errors.push_back(error.error.to_string() + " at " +
                       error.location.to_string());
    }
    EXPECT_EQ(join(errors), c.errors);
  }
}

// A text made of nothing but errors keeps a bounded list of them, the first
// one unchanged, so memory stays proportional to the text.
TEST(LexerTest, ErrorListIsBounded) {
  std::string source;
  for (int line = 0; line < 5000; ++line) {
    source += "'\n";
  }
  Lexer lexer(source, Mode::Module);
  while (lexer.next_token() != TokenKind::EndOfFile) {
  }
  const std::vector<LexicalError> errors = std::move(lexer).finish();
  ASSERT_EQ(errors.size(), Lexer::kMaxErrors);
  EXPECT_EQ(errors.front().location, TextRange(0, 1));
  EXPECT_EQ(errors.front().error.kind(), LexicalErrorKind::UnclosedString);
}

}  // namespace
}  // namespace divu
