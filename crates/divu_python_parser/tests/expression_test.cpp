// Expressions: operators and precedence, string literals and interpolated
// strings, and the parameter lists of lambdas and functions. Tree shapes are
// in the golden files (testdata/expressions); here are the messages with
// their exact ranges, the fields a dump does not show, the contexts, the
// version gates and the nesting bound.

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "parse_module.h"
#include "parser.h"
#include "parser_test_support.h"
#include "stack_thread.h"
#include "tree_dump.h"

namespace divu {
namespace {

using test_support::check_expression_messages;
using test_support::gate;
using test_support::GateCase;
using test_support::kLatest;
using test_support::MessageCase;

// A whole expression-mode parse: the dump, every error as displayed (lexical
// and parse errors merged), and the version gates.
struct Outcome {
  std::string dump;
  std::vector<std::string> errors;
  std::vector<UnsupportedSyntaxError> gates;
};

Outcome parse(std::string_view source, PythonVersion target = kLatest) {
  Parser parser(
      source, ParseOptions{.mode = Mode::Expression, .target_version = target});
  const ModExpression* module = parser.parse_expression_body();
  Outcome outcome;
  outcome.dump = dump_tree(*module);
  outcome.gates = parser.unsupported_syntax_errors();
  auto [tokens, errors] = std::move(parser).finish();
  for (const ParseError& error : errors) {
    outcome.errors.push_back(error.to_string());
  }
  return outcome;
}

using Errors = std::vector<std::string>;

TEST(ExpressionMessageTest, OperatorsAndPrefixForms) {
  check_expression_messages({
      {.source = "a + *b",
       .errors = {"Starred expression cannot be used here at byte range "
                  "4..6"}},
      {.source = "a if *b else c",
       .errors = {"Starred expression cannot be used here at byte range "
                  "5..7"}},
      {.source = "a + yield b",
       .errors = {"Yield expression cannot be used here at byte range "
                  "4..11"}},
      {.source = "-(yield)", .errors = {}},
      {.source = "yield from a, b",
       .errors = {"Unparenthesized tuple expression cannot be used here at "
                  "byte range 11..15"}},
      {.source = "yield from (a, b)", .errors = {}},
      {.source = "x + lambda: 1",
       .errors = {"Lambda expression cannot be used here at byte range "
                  "4..13"}},
      {.source = "await await x",
       .errors = {"Await expression cannot be used here at byte range "
                  "6..13"}},
      {.source = "a == not b",
       .errors = {"Boolean 'not' expression cannot be used here at byte "
                  "range 5..10"}},
      {.source = "a | not b",
       .errors = {"Boolean 'not' expression cannot be used here at byte "
                  "range 4..9"}},
      {.source = "a and not b", .errors = {}},
      {.source = "await -x",
       .errors = {"Unary '-' expression cannot be used here at byte range "
                  "6..8"}},
      {.source = "await +x",
       .errors = {"Unary '+' expression cannot be used here at byte range "
                  "6..8"}},
      {.source = "await ~x",
       .errors = {"Unary '~' expression cannot be used here at byte range "
                  "6..8"}},
      {.source = "a ** -b", .errors = {}},
      {.source = "(a.b := 1)",
       .errors = {"Assignment expression target must be an identifier at "
                  "byte range 1..4"}},
      {.source = "(a := 1)", .errors = {}},
      {.source = "a if b",
       .errors = {"Expected `else`, found newline at byte range 6..6"}},
      {.source = "a not b",
       .errors = {"Unexpected token at the end of an expression at byte "
                  "range 2..5"}},
  });
}

TEST(ExpressionMessageTest, BitwiseOrLevelNamesWhatItFound) {
  // The operand of `*` in a display or at the expression entry is read at
  // bitwise-or level; the whole operand is judged once parsed.
  check_expression_messages({
      {.source = "*a or b",
       .errors = {"Boolean expression cannot be used here at byte range "
                  "1..7"}},
      {.source = "*not a",
       .errors = {"Boolean expression cannot be used here at byte range "
                  "1..6"}},
      {.source = "*a < b",
       .errors = {"Comparison expression cannot be used here at byte range "
                  "1..6"}},
      {.source = "*a if b else c",
       .errors = {"Conditional expression cannot be used here at byte range "
                  "1..14"}},
      {.source = "*lambda: 1",
       .errors = {"Lambda expression cannot be used here at byte range "
                  "1..10"}},
      {.source = "*(a or b)", .errors = {}},
      {.source = "*(a) < b", .errors = {}},
      {.source = "*a | b", .errors = {}},
  });
}

TEST(ExpressionMessageTest, StringsAndInterpolations) {
  check_expression_messages({
      {.source = "b'a' 'b'",
       .errors = {"Bytes literal cannot be mixed with non-bytes literals at "
                  "byte range 0..8"}},
      {.source = "f'{x}' b'y'",
       .errors = {"Bytes literal cannot be mixed with non-bytes literals at "
                  "byte range 0..11"}},
      {.source = "t'{x}' 'y'",
       .errors = {"cannot mix t-string literals with string or bytes "
                  "literals at byte range 0..10"}},
      // Both mixtures start at the run: the second is dropped.
      {.source = "t'x' b'y'",
       .errors = {"Bytes literal cannot be mixed with non-bytes literals at "
                  "byte range 0..9"}},
      {.source = "'\\N{NOPE}' 'a'",
       .errors = {"Got unexpected unicode at byte range 4..8"}},
      {.source = "b'\xc3\xa9'",
       .errors = {"bytes can only contain ASCII literal characters at byte "
                  "range 2..4"}},
      {.source = "f'a\\N{NOPE}{x}'",
       .errors = {"Got unexpected unicode at byte range 6..10"}},
      {.source = "f'{x!z}'",
       .errors = {"f-string: invalid conversion character at byte range "
                  "5..6"}},
      {.source = "f'{x!rr}'",
       .errors = {"f-string: invalid conversion character at byte range "
                  "5..7"}},
      {.source = "f'{x! r}'",
       .errors = {"f-string: conversion type must come right after the "
                  "exclamation mark at byte range 5..6"}},
      {.source = "f'{x!}'",
       .errors = {"f-string: invalid conversion character at byte range "
                  "5..6",
                  "f-string: expecting `}` at byte range 6..7"}},
      {.source = "f'{x'",
       .errors = {"f-string: expecting `}` at byte range 4..5"}},
      // The colon starts a format spec for the lexer, so the lambda's body
      // is missing and the text after the colon is the format spec's.
      {.source = "f'{lambda x: x}'",
       .errors = {"Expected an expression at byte range 12..14",
                  "f-string: lambda expressions are not allowed without "
                  "parentheses at byte range 3..12",
                  "f-string: expecting `}` at byte range 12..14",
                  "Expected an element of or the end of the f-string at byte "
                  "range 14..15"}},
      {.source = "f'{(lambda x: x)}'", .errors = {}},
      {.source = "f'{a, b}' f'{*a}' f'{yield}'", .errors = {}},
      {.source = "t'{x!z}'",
       .errors = {"t-string: invalid conversion character at byte range "
                  "5..6"}},
      {.source = "t'{x'",
       .errors = {"t-string: expecting `}` at byte range 4..5"}},
      {.source = "t'{lambda: 1}'",
       .errors = {"Expected an expression at byte range 10..12",
                  "t-string: lambda expressions are not allowed without "
                  "parentheses at byte range 3..10",
                  "t-string: expecting `}` at byte range 10..12",
                  "Expected an element of or the end of the t-string at byte "
                  "range 12..13"}},
  });
}

TEST(ExpressionMessageTest, Parameters) {
  check_expression_messages({
      {.source = "lambda a, b=1, *c, d, e=2, **f: 0", .errors = {}},
      {.source = "lambda **kw, a: 0",
       .errors = {"Parameter cannot follow var-keyword parameter at byte "
                  "range 13..14"}},
      {.source = "lambda a=1, b: 0",
       .errors = {"Parameter without a default cannot follow a parameter "
                  "with a default at byte range 12..13"}},
      {.source = "lambda a=1, *, b: 0", .errors = {}},
      {.source = "lambda a=1, *c, b: 0", .errors = {}},
      // The list skips the `=` (its own error there is dropped) and then
      // wants a comma before the value.
      {.source = "lambda *a=1: 0",
       .errors = {"Parameter with `*` or `**` cannot have default value at "
                  "byte range 9..10",
                  "Expected `,`, found int at byte range 10..11"}},
      {.source = "lambda **a=1: 0",
       .errors = {"Parameter with `*` or `**` cannot have default value at "
                  "byte range 10..11",
                  "Expected `,`, found int at byte range 11..12"}},
      {.source = "lambda *: 0",
       .errors = {"Expected one or more keyword parameter after `*` "
                  "separator at byte range 7..8"}},
      {.source = "lambda *,: 0",
       .errors = {"Expected one or more keyword parameter after `*` "
                  "separator at byte range 7..8"}},
      {.source = "lambda *, **kw: 0",
       .errors = {"Expected one or more keyword parameter after `*` "
                  "separator at byte range 10..14"}},
      {.source = "lambda *a, *b: 0",
       .errors = {"Only one '*' parameter allowed at byte range 11..13"}},
      {.source = "lambda *, a, *b: 0",
       .errors = {"Only one '*' parameter allowed at byte range 13..15"}},
      {.source = "lambda *, *, a: 0",
       .errors = {"Only one '*' separator allowed at byte range 10..11"}},
      {.source = "lambda *a, *, b: 0",
       .errors = {"Keyword-only parameter separator not allowed after '*' "
                  "parameter at byte range 11..12"}},
      // An error between the two keeps the second `**` error from being
      // dropped.
      {.source = "lambda **a, **: 0",
       .errors = {"Parameter cannot follow var-keyword parameter at byte "
                  "range 12..14",
                  "Expected an identifier at byte range 14..15",
                  "Only one '**' parameter allowed at byte range 12..14"}},
      {.source = "lambda /, a: 0",
       .errors = {"Position-only parameter separator not allowed as first "
                  "parameter at byte range 7..8"}},
      {.source = "lambda a, /, b, /: 0",
       .errors = {"Only one '/' separator allowed at byte range 16..17"}},
      {.source = "lambda *a, /: 0",
       .errors = {"'/' parameter must appear before '*' parameter at byte "
                  "range 11..12"}},
      {.source = "lambda a=: 0",
       .errors = {"Expected an expression at byte range 9..10"}},
  });
}

TEST(ExpressionMessageTest, DropRuleKeepsTheFirstErrorAtAnOffset) {
  check_expression_messages({
      // Expected `else` and the missing orelse both start at the end.
      {.source = "a if b",
       .errors = {"Expected `else`, found newline at byte range 6..6"}},
      // "Only one '**' parameter allowed" starts at the `**` already
      // reported as following the var-keyword parameter.
      {.source = "lambda **a, **b: 0",
       .errors = {"Parameter cannot follow var-keyword parameter at byte "
                  "range 12..14"}},
      // The misplaced yield is reported first; the boolean operation that
      // starts with it is then named at the same offset and dropped.
      {.source = "*yield or b",
       .errors = {"Yield expression cannot be used here at byte range "
                  "1..6"}},
      // Errors are judged after their node, so inner ones come first.
      {.source = "await await await x",
       .errors = {"Await expression cannot be used here at byte range "
                  "12..19",
                  "Await expression cannot be used here at byte range "
                  "6..19"}},
  });
}

TEST(ExpressionMessageTest, LexicalErrorWinsATieInTheMerge) {
  // The lexer reports the unterminated string at the end of the text, where
  // the parser then finds no conversion name: the merge keeps the lexer's.
  constexpr std::string_view kSource = "f'{x!";
  Parser parser(kSource, ParseOptions{.mode = Mode::Expression});
  parser.parse_expression_body();
  ASSERT_EQ(parser.errors().size(), 1u);
  EXPECT_EQ(parser.errors()[0].to_string(),
            "f-string: invalid conversion character at byte range 5..5");
  auto [tokens, errors] = std::move(parser).finish();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].to_string(),
            "f-string: unterminated string at byte range 5..5");
  EXPECT_EQ(errors[0].error.kind(), ParseErrorKind::Lexical);
}

// ---------------------------------------------------------------------------
// What a dump does not show.

// The texts of the literal elements among `elements`, in order.
std::vector<std::string_view> literal_texts(
    std::span<const InterpolatedStringElement* const> elements) {
  std::vector<std::string_view> texts;
  for (const InterpolatedStringElement* element : elements) {
    if (const auto* literal =
            element->dyn_cast<InterpolatedStringElementLiteral>()) {
      texts.push_back(literal->value);
    }
  }
  return texts;
}

TEST(InterpolationTest, DebugTextConversionAndFormatSpec) {
  struct Case {
    std::string_view source;
    std::string_view leading;  // "-" when there is no debug text
    std::string_view trailing = {};
    ConversionFlag conversion;
    std::vector<std::string_view> spec_literals = {};  // empty: none
  };
  const Case cases[] = {
      {.source = "f'{x}'", .leading = "-", .conversion = ConversionFlag::None},
      {.source = "f'{x!r}'",
       .leading = "-",
       .conversion = ConversionFlag::Repr},
      {.source = "f'{x!s}'", .leading = "-", .conversion = ConversionFlag::Str},
      {.source = "f'{x!a}'",
       .leading = "-",
       .conversion = ConversionFlag::Ascii},
      {.source = "f'{x! r}'",
       .leading = "-",
       .conversion = ConversionFlag::Repr},
      {.source = "f'{x=}'",
       .leading = "",
       .trailing = "=",
       .conversion = ConversionFlag::None},
      {.source = "f'{ x = }'",
       .leading = " ",
       .trailing = " = ",
       .conversion = ConversionFlag::None},
      {.source = "f'{x=!r:>10}'",
       .leading = "",
       .trailing = "=",
       .conversion = ConversionFlag::Repr,
       .spec_literals = {">10"}},
      {.source = "t'{x:<3}'",
       .leading = "-",
       .conversion = ConversionFlag::None,
       .spec_literals = {"<3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModExpression> parsed = parse_expression(c.source);
    const Expr& body = *parsed.syntax().body;
    std::span<const InterpolatedStringElement* const> elements;
    if (const auto* fstring = body.dyn_cast<ExprFString>()) {
      elements = fstring->value.parts()[0]->as<FString>().elements;
    } else {
      elements = body.as<ExprTString>().value.parts()[0]->elements;
    }
    ASSERT_EQ(elements.size(), 1u);
    const auto& interpolation =
        elements[0]->as<InterpolatedStringElementInterpolation>();
    if (c.leading == "-") {
      EXPECT_EQ(interpolation.debug_text, nullptr);
    } else {
      ASSERT_NE(interpolation.debug_text, nullptr);
      EXPECT_EQ(interpolation.debug_text->leading, c.leading);
      EXPECT_EQ(interpolation.debug_text->trailing, c.trailing);
    }
    EXPECT_EQ(interpolation.conversion, c.conversion);
    if (c.spec_literals.empty()) {
      EXPECT_EQ(interpolation.format_spec, nullptr);
      continue;
    }
    ASSERT_NE(interpolation.format_spec, nullptr);
    EXPECT_EQ(literal_texts(interpolation.format_spec->elements),
              c.spec_literals);
  }
}

TEST(InterpolationTest, LiteralPartsAreDecodedOnce) {
  // Doubled braces were reduced by the lexer; escapes are decoded here,
  // except in a raw string.
  struct Case {
    std::string_view source;
    std::vector<std::string_view> literals;
  };
  const Case cases[] = {
      {.source = "f'a{{b}}\\tc'", .literals = {"a{b}\tc"}},
      {.source = "rf'\\t{x}\\n'", .literals = {"\\t", "\\n"}},
      {.source = "f'\\N{BULLET} {x}'", .literals = {"\xe2\x80\xa2 "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModExpression> parsed = parse_expression(c.source);
    EXPECT_TRUE(parsed.errors().empty());
    EXPECT_EQ(literal_texts(parsed.syntax()
                                .body->as<ExprFString>()
                                .value.parts()[0]
                                ->as<FString>()
                                .elements),
              c.literals);
  }
}

TEST(InterpolationTest, MissingEndTokenMarksTheStringUnclosed) {
  const Parsed<ModExpression> closed = parse_expression("f'{x}'");
  EXPECT_FALSE(closed.syntax()
                   .body->as<ExprFString>()
                   .value.parts()[0]
                   ->as<FString>()
                   .flags.contains(FStringFlags::kUnclosed));
  const Parsed<ModExpression> unclosed = parse_expression("f'abc");
  EXPECT_TRUE(unclosed.syntax()
                  .body->as<ExprFString>()
                  .value.parts()[0]
                  ->as<FString>()
                  .flags.contains(FStringFlags::kUnclosed));
}

TEST(StringConcatenationTest, MixturesKeepEveryPartInPlace) {
  // Parts of a kind that cannot join the run stand as empty invalid
  // literals at their own ranges.
  {
    const Parsed<ModExpression> parsed = parse_expression("b'a' 'b'");
    const auto parts =
        parsed.syntax().body->as<ExprStringLiteral>().value.parts();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0]->value, "");
    EXPECT_TRUE(parts[0]->flags.contains(StringLiteralFlags::kInvalid));
    EXPECT_EQ(parts[0]->range, TextRange(0, 4));
    EXPECT_EQ(parts[1]->value, "b");
    EXPECT_FALSE(parts[1]->flags.contains(StringLiteralFlags::kInvalid));
  }
  {
    const Parsed<ModExpression> parsed = parse_expression("f'{x}' b'y' t'z'");
    const auto parts = parsed.syntax().body->as<ExprFString>().value.parts();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_TRUE(parts[0]->is<FString>());
    for (const FStringPart* part : parts.subspan(1)) {
      const StringLiteral& literal = part->as<StringLiteral>();
      EXPECT_TRUE(literal.flags.contains(StringLiteralFlags::kInvalid));
      EXPECT_EQ(literal.value, "");
    }
    EXPECT_EQ(parts[2]->range, TextRange(12, 16));
  }
  {
    // An undecodable literal is an empty part with the invalid mark.
    const Parsed<ModExpression> parsed = parse_expression("'\\N{NOPE}' 'a'");
    const auto parts =
        parsed.syntax().body->as<ExprStringLiteral>().value.parts();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_TRUE(parts[0]->flags.contains(StringLiteralFlags::kInvalid));
    EXPECT_EQ(parts[0]->range, TextRange(0, 10));
    EXPECT_EQ(parts[1]->value, "a");
  }
  {
    const Parsed<ModExpression> parsed = parse_expression("b'\\x00' b'\\x41'");
    const auto parts =
        parsed.syntax().body->as<ExprBytesLiteral>().value.parts();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0]->value, std::string_view("\0", 1));
    EXPECT_EQ(parts[1]->value, "A");
  }
}

// ---------------------------------------------------------------------------
// Contexts: what an expression may contain depends on where it is read.

TEST(ExpressionContextTest, EachBitAllowsOneThing) {
  struct Case {
    std::string_view source;
    std::uint8_t context;
    std::string_view first_error = {};  // empty: none
    TextSize stops_at;                  // the first token left unread
  };
  constexpr std::uint8_t kStarred = ExpressionContext::kAllowStarred;
  constexpr std::uint8_t kTarget =
      ExpressionContext::kExcludeIn | ExpressionContext::kAllowStarred;
  const Case cases[] = {
      // A comprehension target stops in front of `in`.
      {.source = "x in y", .context = kTarget, .stops_at = 2},
      {.source = "a, *b in y", .context = kTarget, .stops_at = 6},
      {.source = "x in y", .context = 0, .stops_at = 6},
      {.source = "*a",
       .context = 0,
       .first_error = "Starred expression cannot be used here at byte range "
                      "0..2",
       .stops_at = 2},
      {.source = "*a, b", .context = kStarred, .stops_at = 5},
      // Without STARRED_BITWISE_OR the operand is a whole conditional.
      {.source = "*a or b", .context = kStarred, .stops_at = 7},
      {.source = "yield",
       .context = kStarred,
       .first_error = "Yield expression cannot be used here at byte range "
                      "0..5",
       .stops_at = 5},
      {.source = "yield x",
       .context = ExpressionContext::kAllowYield,
       .stops_at = 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.mode = Mode::Expression});
    parser.parse_expression_list(ExpressionContext(c.context));
    EXPECT_EQ(parser.current_token_start(), c.stops_at);
    if (c.first_error.empty()) {
      EXPECT_TRUE(parser.errors().empty());
    } else {
      ASSERT_FALSE(parser.errors().empty());
      EXPECT_EQ(parser.errors()[0].to_string(), c.first_error);
    }
  }
}

TEST(ExpressionContextTest, NamedExpressionsOnlyWhereTheEntryReadsThem) {
  Parser named("x := 1", ParseOptions{.mode = Mode::Expression});
  const ParsedExpr parsed = named.parse_named_expression_or_higher({});
  EXPECT_TRUE(parsed.expr->is<ExprNamed>());
  EXPECT_EQ(parsed.expr->as<ExprNamed>().target->as<ExprName>().ctx,
            ExprContext::Store);
  EXPECT_TRUE(named.errors().empty());
  // The conditional level stops in front of `:=`.
  Parser conditional("x := 1", ParseOptions{.mode = Mode::Expression});
  conditional.parse_conditional_expression_or_higher();
  EXPECT_TRUE(conditional.at(TokenKind::ColonEqual));
}

TEST(ExpressionContextTest, ParenthesizedMarkFollowsTheLeftOperand) {
  struct Case {
    std::string_view source;
    bool parenthesized;
  };
  const Case cases[] = {
      {.source = "(a)", .parenthesized = true},
      {.source = "(a) + b", .parenthesized = true},
      {.source = "(a) < b < c", .parenthesized = true},
      {.source = "(a) or b", .parenthesized = true},
      {.source = "a + (b)", .parenthesized = false},
      {.source = "-(a)", .parenthesized = false},
      {.source = "(a) if b else c", .parenthesized = false},
      {.source = "(a), b", .parenthesized = false},
      {.source = "lambda: (a)", .parenthesized = false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.mode = Mode::Expression});
    EXPECT_EQ(
        parser.parse_expression_list(ExpressionContext()).is_parenthesized,
        c.parenthesized);
  }
}

// ---------------------------------------------------------------------------
// Version gates: recorded for older targets, never an error.

TEST(VersionGateTest, ExpressionsAndStrings) {
  constexpr PythonVersion k37{3, 7};
  constexpr PythonVersion k310{3, 10};
  const auto syntax = [](InterpolatedStringSyntaxKind kind, TextRange range) {
    return gate(UnsupportedSyntaxKind::InterpolatedStringSyntax, range, k310,
                static_cast<std::uint8_t>(kind));
  };
  using enum InterpolatedStringSyntaxKind;
  const GateCase cases[] = {
      {.source = "(x := 1)",
       .target = k37,
       .gates = {gate(UnsupportedSyntaxKind::NamedExpression, TextRange(1, 7),
                      k37)}},
      {.source = "(x := 1)", .target = k310, .gates = {}},
      // Starred elements of a yield's unparenthesized tuple, before 3.8.
      {.source = "(yield a, *b, *c)",
       .target = k37,
       .gates = {gate(UnsupportedSyntaxKind::StarredTupleValue,
                      TextRange(10, 12), k37,
                      static_cast<std::uint8_t>(StarredTupleKind::YieldValue)),
                 gate(
                     UnsupportedSyntaxKind::StarredTupleValue,
                     TextRange(14, 16), k37,
                     static_cast<std::uint8_t>(StarredTupleKind::YieldValue))}},
      {.source = "(yield (a, *b))", .target = k37, .gates = {}},
      {.source = "(yield a, *b)", .target = k310, .gates = {}},
      {.source = "t'{x}' t'y'",
       .target = k310,
       .gates = {gate(UnsupportedSyntaxKind::TemplateString, TextRange(0, 6),
                      k310),
                 gate(UnsupportedSyntaxKind::TemplateString, TextRange(7, 11),
                      k310)}},
      // The string's own quote inside an interpolation, once; the other
      // quote is no gate.
      {.source = "f'{x['a'] + x['b']}'",
       .target = k310,
       .gates = {syntax(NestedQuote, TextRange(5, 6))}},
      {.source = "f'{x[\"a\"]}'", .target = k310, .gates = {}},
      {.source = "f'''{x[\"\"\"a\"\"\"]}'''", .target = k310, .gates = {}},
      {.source = "f'''{x['''a''']}'''",
       .target = k310,
       .gates = {syntax(NestedQuote, TextRange(7, 10))}},
      // Each backslash before the format specification; none after it.
      {.source = "f'{\"\\n\" + \"\\t\":\\n}'",
       .target = k310,
       .gates = {syntax(Backslash, TextRange(4, 5)),
                 syntax(Backslash, TextRange(11, 12))}},
      {.source = "f'''{x # note\n}'''",
       .target = k310,
       .gates = {syntax(EmbeddedComment, TextRange(7, 13))}},
      {.source = "f'{x['a']}'", .target = {3, 12}, .gates = {}},
      // A t-string is newer than all of this.
      {.source = "t'{x['a']}'", .target = {3, 14}, .gates = {}},
  };
  for (const GateCase& c : cases) {
    SCOPED_TRACE(c.source);
    const Outcome outcome = parse(c.source, c.target);
    EXPECT_EQ(outcome.errors, Errors{});
    EXPECT_EQ(outcome.gates, c.gates);
  }
}

// ---------------------------------------------------------------------------
// Parameter lists.

TEST(ParametersTest, GroupsOfAFunctionDefinition) {
  struct Case {
    std::string_view source;
    std::size_t posonly, args, kwonly;
    bool vararg = false;
    bool kwarg = false;
    Errors errors = {};
  };
  const Case cases[] = {
      {.source = "(a, b=1, *args, c, d=2, **kw)",
       .posonly = 0,
       .args = 2,
       .kwonly = 2,
       .vararg = true,
       .kwarg = true},
      {.source = "(a, /, b)", .posonly = 1, .args = 1, .kwonly = 0},
      // The first `/` alone moves what came before it.
      {.source = "(a, /, b, /, c)",
       .posonly = 1,
       .args = 2,
       .kwonly = 0,
       .errors = {"Only one '/' separator allowed at byte range 10..11"}},
      {.source = "(*, a, b)", .posonly = 0, .args = 0, .kwonly = 2},
      {.source = "(*a, *b, c)",
       .posonly = 0,
       .args = 0,
       .kwonly = 1,
       .vararg = true,
       .errors = {"Only one '*' parameter allowed at byte range 5..7"}},
      {.source = "(**a, b)",
       .posonly = 0,
       .args = 1,
       .kwonly = 0,
       .kwarg = true,
       .errors = {"Parameter cannot follow var-keyword parameter at byte "
                  "range 6..7"}},
      {.source = "(a: int, *b: *Ts, c: str = 'x', **d: dict)",
       .posonly = 0,
       .args = 1,
       .kwonly = 1,
       .vararg = true,
       .kwarg = true},
      {.source = "(a:, b)",
       .posonly = 0,
       .args = 2,
       .kwonly = 0,
       .errors = {"Expected an expression at byte range 3..4"}},
      {.source = "(x: *Ts)",
       .posonly = 0,
       .args = 1,
       .kwonly = 0,
       .errors = {"Starred expression cannot be used here at byte range "
                  "4..7"}},
      // The lexer's token for the unclosed bracket is skipped by the list;
      // the missing `)` then starts at the same offset and is dropped.
      {.source = "(a, b",
       .posonly = 0,
       .args = 2,
       .kwonly = 0,
       .errors = {"Expected `,`, found Unknown at byte range 5..5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{});
    const Parameters* parameters =
        parser.parse_parameters(ParametersKind::FunctionDef);
    EXPECT_EQ(parameters->range,
              TextRange(0, static_cast<TextSize>(c.source.size())));
    EXPECT_EQ(parameters->posonlyargs.size(), c.posonly);
    EXPECT_EQ(parameters->args.size(), c.args);
    EXPECT_EQ(parameters->kwonlyargs.size(), c.kwonly);
    EXPECT_EQ(parameters->vararg != nullptr, c.vararg);
    EXPECT_EQ(parameters->kwarg != nullptr, c.kwarg);
    Errors errors = {};
    for (const ParseError& error : parser.errors()) {
      errors.push_back(error.to_string());
    }
    EXPECT_EQ(errors, c.errors);
  }
}

TEST(ParametersTest, NamesDefaultsAndGatesInOrder) {
  Parser parser("(a, /, b=1, *c: *Ts, d)",
                ParseOptions{.target_version = {3, 7}});
  const Parameters* parameters =
      parser.parse_parameters(ParametersKind::FunctionDef);
  std::vector<std::string_view> names;
  for (const ParameterRef ref : parameters->iter()) {
    names.push_back(ref.parameter->name.id.as_str());
  }
  EXPECT_EQ(names, (std::vector<std::string_view>{"a", "b", "c", "d"}));
  EXPECT_NE(parameters->args[0].default_value, nullptr);
  // `*c` ranges from its star, its annotation included.
  EXPECT_EQ(parameters->vararg->range, TextRange(12, 19));
  EXPECT_EQ(parser.unsupported_syntax_errors(),
            (std::vector<UnsupportedSyntaxError>{
                gate(UnsupportedSyntaxKind::PositionalOnlyParameters,
                     TextRange(4, 5), {3, 7}),
                gate(UnsupportedSyntaxKind::StarredAnnotation,
                     TextRange(16, 19), {3, 7})}));
}

TEST(ParametersTest, LambdaHasNoAnnotationsAndNoParameterNode) {
  const Parsed<ModExpression> without = parse_expression("lambda: 0");
  EXPECT_EQ(without.syntax().body->as<ExprLambda>().parameters, nullptr);
  // In a lambda the colon ends the list: `x` has no annotation.
  const Parsed<ModExpression> with = parse_expression("lambda x: y");
  const ExprLambda& lambda = with.syntax().body->as<ExprLambda>();
  ASSERT_NE(lambda.parameters, nullptr);
  ASSERT_EQ(lambda.parameters->args.size(), 1u);
  EXPECT_EQ(lambda.parameters->args[0].parameter.annotation, nullptr);
  EXPECT_EQ(lambda.body->as<ExprName>().id.as_str(), "y");
}

// ---------------------------------------------------------------------------
// The nesting bound: every deep shape parses right up to the bound on a
// thread with the system's stack, and ends in the recorded error beyond it.

constexpr std::string_view kOverflow =
    "Parser stack overflowed - Python source too complex to parse";

// One way of nesting an expression `depth` levels deep. With a prefix it
// is parsed as a module: prefix, nesting, suffix.
struct Shape {
  std::string_view name;
  std::string_view open;  // repeated `depth` times before the core
  std::string_view core;
  std::string_view close;  // repeated `depth` times after it
  std::string_view prefix = {};
  std::string_view suffix = {};
};

constexpr Shape kShapes[] = {
    {.name = "parentheses", .open = "(", .core = "x", .close = ")"},
    {.name = "lists", .open = "[", .core = "x", .close = "]"},
    {.name = "sets", .open = "{", .core = "x", .close = "}"},
    {.name = "calls", .open = "f(", .core = "x", .close = ")"},
    {.name = "subscripts", .open = "x[", .core = "x", .close = "]"},
    {.name = "negated parentheses", .open = "-(", .core = "x", .close = ")"},
    {.name = "starred", .open = "* ", .core = "x", .close = ""},
    {.name = "conditional in parentheses",
     .open = "a if b else (",
     .core = "c",
     .close = ")"},
    {.name = "lambda defaults",
     .open = "lambda a=",
     .core = "x",
     .close = ": a"},
    {.name = "f-strings", .open = "f\"{", .core = "x", .close = "}\""},
    {.name = "format specs", .open = "f'{x:{", .core = "y", .close = "}}'"},
    {.name = "yield", .open = "(yield ", .core = "x", .close = ")"},
    {.name = "dict values", .open = "{a: ", .core = "x", .close = "}"},
    {.name = "keyword arguments", .open = "f(a=", .core = "x", .close = ")"},
    {.name = "slices", .open = "x[a:", .core = "x", .close = "]"},
    {.name = "comprehensions",
     .open = "[x for x in ",
     .core = "y",
     .close = "]"},
    {.name = "generators", .open = "(x for x in ", .core = "y", .close = ")"},
    {.name = "t-strings", .open = "t\"{", .core = "x", .close = "}\""},
    {.name = "sequence patterns",
     .open = "[",
     .core = "y",
     .close = "]",
     .prefix = "match x:\n case ",
     .suffix = ":\n  pass\n"},
    {.name = "class patterns",
     .open = "C(",
     .core = "y",
     .close = ")",
     .prefix = "match x:\n case ",
     .suffix = ":\n  pass\n"},
    {.name = "mapping patterns",
     .open = "{1: ",
     .core = "y",
     .close = "}",
     .prefix = "match x:\n case ",
     .suffix = ":\n  pass\n"},
};

// Chains of one shape, read in loops: no depth of them is counted.
constexpr Shape kChainShapes[] = {
    {.name = "negations", .open = "-", .core = "x", .close = ""},
    {.name = "prefix operators", .open = "not -~+", .core = "x", .close = ""},
    {.name = "not", .open = "not ", .core = "x", .close = ""},
    {.name = "await", .open = "-await ", .core = "x", .close = ""},
    {.name = "power", .open = "a ** ", .core = "x", .close = ""},
    {.name = "conditional chain",
     .open = "a if b else ",
     .core = "c",
     .close = ""},
    {.name = "lambdas", .open = "lambda: ", .core = "x", .close = ""},
    {.name = "lambdas and conditionals",
     .open = "lambda: a if b else ",
     .core = "x",
     .close = ""},
};

std::string nest(const Shape& shape, std::size_t depth) {
  std::string text(shape.prefix);
  text.reserve(depth * (shape.open.size() + shape.close.size()) +
               shape.core.size());
  for (std::size_t level = 0; level < depth; ++level) {
    text += shape.open;
  }
  text += shape.core;
  for (std::size_t level = 0; level < depth; ++level) {
    text += shape.close;
  }
  text += shape.suffix;
  return text;
}

// Blocks nested `depth` deep, one statement a line: the statement shapes
// count at every statement as well as in their expressions.
struct BlockShape {
  std::string_view name;
  std::string_view header;  // opens a block at each level
  std::string_view footer;  // closes it, at the level's indentation
};

constexpr BlockShape kBlockShapes[] = {
    {.name = "if blocks", .header = "if x:", .footer = ""},
    {.name = "for blocks", .header = "for x in y:", .footer = ""},
    {.name = "while with else", .header = "while x:", .footer = "else: pass"},
    {.name = "with blocks", .header = "with a as b:", .footer = ""},
    {.name = "try blocks", .header = "try:", .footer = "finally: pass"},
    {.name = "functions", .header = "def f(a, *b, c=1) -> d:", .footer = ""},
    {.name = "decorated classes", .header = "@d\nclass C(B):", .footer = ""},
};

std::string nest_blocks(const BlockShape& shape, std::size_t depth) {
  std::string text;
  const auto line = [&](std::size_t indent, std::string_view body) {
    // A decorator line and its definition share the indentation.
    std::size_t from = 0;
    while (from <= body.size()) {
      const std::size_t end = std::min(body.find('\n', from), body.size());
      text.append(indent, ' ');
      text.append(body.substr(from, end - from));
      text += '\n';
      from = end + 1;
    }
  };
  for (std::size_t level = 0; level < depth; ++level) {
    line(level, shape.header);
  }
  line(depth, "pass");
  for (std::size_t level = depth; level-- > 0;) {
    if (!shape.footer.empty()) {
      line(level, shape.footer);
    }
  }
  return text;
}

template <class T>
bool has_overflow_error(const Parsed<T>& parsed) {
  for (const ParseError& error : parsed.errors()) {
    if (error.error.kind() == ParseErrorKind::OtherError &&
        error.error.text() == kOverflow) {
      return true;
    }
  }
  return false;
}

bool overflows(const std::string& text) {
  return has_overflow_error(parse_expression(text));
}
bool module_overflows(const std::string& text) {
  return has_overflow_error(parse_module_with_errors(text));
}

// The deepest nesting `text(depth)` that stays within the bound, for a
// parse that says whether it overflowed.
template <class Text, class Overflows>
std::size_t deepest_within(Text text, Overflows overflows) {
  std::size_t low = 0;  // within
  // Beyond: every level passes at least one counted scope.
  std::size_t high = Parser::kMaxNesting + 1;
  EXPECT_TRUE(overflows(text(high))) << "a level that is not counted";
  while (high - low > 1) {
    const std::size_t middle = low + (high - low) / 2;
    if (overflows(text(middle))) {
      high = middle;
    } else {
      low = middle;
    }
  }
  return low;
}

// Parses `text` as `shape` is read and says whether it overflowed.
bool shape_overflows(const Shape& shape, const std::string& text) {
  return shape.prefix.empty() ? overflows(text) : module_overflows(text);
}
void parse_as(const Shape& shape, const std::string& text) {
  if (shape.prefix.empty()) {
    (void)parse_expression(text);
  } else {
    (void)parse_module_with_errors(text);
  }
}

std::size_t deepest_within_bound(const Shape& shape) {
  return deepest_within(
      [&](std::size_t depth) { return nest(shape, depth); },
      [&](const std::string& text) { return shape_overflows(shape, text); });
}
std::size_t deepest_within_bound(const BlockShape& shape) {
  return deepest_within(
      [&](std::size_t depth) { return nest_blocks(shape, depth); },
      [](const std::string& text) { return module_overflows(text); });
}

// Runs `work` on a thread whose stack of `size` bytes is painted first, and
// returns how many bytes of it were written: the deepest the stack went.
class PaintedStack {
 public:
  explicit PaintedStack(std::size_t size) : size_(size) {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    // One guard page below the stack, as pthread gives its own stacks.
    mapping_ = mmap(nullptr, size_ + page_, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ != MAP_FAILED) {
      mprotect(mapping_, page_, PROT_NONE);
    }
  }
  ~PaintedStack() {
    if (mapping_ != MAP_FAILED) {
      munmap(mapping_, size_ + page_);
    }
  }
  PaintedStack(const PaintedStack&) = delete;
  PaintedStack& operator=(const PaintedStack&) = delete;

  std::size_t bytes_used_by(std::function<void()> work) {
    EXPECT_NE(mapping_, MAP_FAILED);
    unsigned char* stack = base();
    std::memset(stack, kPaint, size_);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, stack, size_);
    pthread_t thread;
    const int created = pthread_create(
        &thread, &attr,
        [](void* arg) -> void* {
          (*static_cast<std::function<void()>*>(arg))();
          return nullptr;
        },
        &work);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(created, 0);
    if (created != 0) {
      return 0;
    }
    pthread_join(thread, nullptr);
    return size_ - untouched_bytes();
  }

 private:
  static constexpr unsigned char kPaint = 0xA5;

  unsigned char* base() const {
    return static_cast<unsigned char*>(mapping_) + page_;
  }
  // The stack grows down: the untouched part is at its low end. Read
  // without instrumentation: the frames that were there may have left
  // their redzones marked.
  __attribute__((no_sanitize_address)) std::size_t untouched_bytes() const {
    const unsigned char* stack = base();
    std::size_t untouched = 0;
    while (untouched < size_ && stack[untouched] == kPaint) {
      ++untouched;
    }
    return untouched;
  }

  std::size_t size_;
  std::size_t page_ = 0;
  void* mapping_ = MAP_FAILED;
};

TEST(NestingTest, DeepestInputWithinTheBoundParsesOnTheSystemStack) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const std::size_t deepest = deepest_within_bound(shape);
    // The bound must not stop ordinary code: every shape nests at least
    // this deep (four counted levels per level at most).
    EXPECT_GE(deepest, Parser::kMaxNesting / 4 - 2);
    const std::string text = nest(shape, deepest);
    bool overflowed = true;
    trelk::run_on_thread_with_stack(trelk::kThreadStackSize, [&] {
      overflowed = shape_overflows(shape, text);
    });
    EXPECT_FALSE(overflowed);
  }
  for (const BlockShape& shape : kBlockShapes) {
    SCOPED_TRACE(shape.name);
    // Python's own limit of indentation comes first.
    const std::size_t deepest = deepest_within_bound(shape);
    EXPECT_EQ(deepest, Parser::kMaxIndentedBlocks);
    const std::string text = nest_blocks(shape, deepest);
    bool overflowed = true;
    trelk::run_on_thread_with_stack(
        trelk::kThreadStackSize, [&] { overflowed = module_overflows(text); });
    EXPECT_FALSE(overflowed);
  }
}

// Runs `work` on the main thread, on a thread with the system's stack and
// on one with a 256 KiB stack, far less than a deep parse takes.
template <class Work>
void on_every_thread(Work work) {
  constexpr std::size_t kSmallStack = std::size_t{256} << 10;
  {
    SCOPED_TRACE("main thread");
    work();
  }
  for (const std::size_t size : {trelk::kThreadStackSize, kSmallStack}) {
    SCOPED_TRACE(size);
    trelk::run_on_thread_with_stack(size, work);
  }
}

TEST(NestingTest, ChainsOfOneShapeAreNotCounted) {
  for (const Shape& shape : kChainShapes) {
    SCOPED_TRACE(shape.name);
    const std::string text = nest(shape, 10 * Parser::kMaxNesting);
    on_every_thread([&] { EXPECT_FALSE(overflows(text)); });
  }
  // Python's own examples: 3,000 negations, 1,000 conditionals.
  on_every_thread([] {
    EXPECT_TRUE(parse_module("x = " + std::string(3000, '-') + "1\n"));
    std::string conditionals = "x = a";
    for (int level = 0; level < 1000; ++level) {
      conditionals += " if b else c";
    }
    EXPECT_TRUE(parse_module(conditionals + "\n"));
  });
}

// The deepest nesting Python 3.13 accepts of each kind parses here too.
TEST(NestingTest, PythonsLimitsAreAccepted) {
  const auto repeat = [](std::string_view open, std::string_view core,
                         std::string_view close, std::size_t depth) {
    return nest(Shape{.name = "", .open = open, .core = core, .close = close},
                depth);
  };
  const std::string kCases[] = {
      "x = " + repeat("(", "1", ")", 200),
      "x = " + repeat("[", "1", "]", 200),
      "x = " + repeat("f(", "1", ")", 200),
      "x = " + repeat("{a: ", "1", "}", 200),
      "x = " + repeat("[x for x in ", "y", "]", 200),
      "x = " + repeat("f'{", "1", "}'", 149),
      repeat("f'{x:{", "y", "}}'", 100),
      "x = " + repeat("lambda a=", "x", ": a", 745),
      "x = " + repeat("(lambda a=", "x", ": a)", 166),
      "x = " + repeat("a ** -", "x", "", 1989),
      "x = " + repeat("a ** -(not ", "x", ")", 186),
      nest_blocks(kBlockShapes[0], Parser::kMaxIndentedBlocks),
      "match x:\n case " + repeat("[", "y", "]", 200) + ": pass\n",
      "match x:\n case " + repeat("(", "y", ")", 200) + ": pass\n",
      "match x:\n case " + repeat("{'k': ", "y", "}", 200) + ": pass\n",
      "match x:\n case " + repeat("C(", "y", ")", 200) + ": pass\n",
  };
  for (const std::string& text : kCases) {
    SCOPED_TRACE(text.substr(0, 40));
    on_every_thread([&] {
      const Parsed<ModModule> parsed = parse_module_with_errors(text);
      EXPECT_TRUE(parsed.errors().empty())
          << parsed.errors().front().error.to_string();
    });
  }
}

TEST(NestingTest, ParseOnASmallStackGivesTheSameVerdict) {
  // 256 KiB is far less than a deep parse takes: the parse must move to a
  // stack of its own, on the main thread's verdict.
  constexpr std::size_t kSmallStack = std::size_t{256} << 10;
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const std::size_t deepest = deepest_within_bound(shape);
    for (const std::size_t depth : {deepest, deepest + 1}) {
      const std::string text = nest(shape, depth);
      bool overflowed = false;
      trelk::run_on_thread_with_stack(
          kSmallStack, [&] { overflowed = shape_overflows(shape, text); });
      EXPECT_EQ(overflowed, depth > deepest) << depth;
    }
  }
}

TEST(NestingTest, TenAndAThousandTimesDeeperEndInTheRecordedError) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    // Ten times the deepest input within the bound, and a thousand times
    // the 200 brackets Python allows.
    const std::size_t deepest = deepest_within_bound(shape);
    for (const std::size_t depth : {10 * deepest, std::size_t{1000} * 200}) {
      SCOPED_TRACE(depth);
      const std::string text = nest(shape, depth);
      on_every_thread([&] {
        const std::vector<ParseError> errors =
            shape.prefix.empty() ? parse_expression(text).errors()
                                 : parse_module_with_errors(text).errors();
        const auto overflow = std::find_if(
            errors.begin(), errors.end(), [](const ParseError& error) {
              return error.error.kind() == ParseErrorKind::OtherError &&
                     error.error.text() == kOverflow;
            });
        ASSERT_NE(overflow, errors.end());
        // Recorded at the token where the bound was passed, well inside
        // the text.
        EXPECT_LT(overflow->location.end(), text.size() / 2);
      });
    }
  }
  // Blocks only ten times: their indentation grows with the square of the
  // depth.
  for (const BlockShape& shape : kBlockShapes) {
    SCOPED_TRACE(shape.name);
    const std::string text =
        nest_blocks(shape, 10 * deepest_within_bound(shape));
    on_every_thread([&] { EXPECT_TRUE(module_overflows(text)); });
  }
}

TEST(NestingTest, StackPerLevelIsWithinItsReckoning) {
  // The deepest input of every shape uses at most the stack a parse may
  // take, and each level at most the figure it is reckoned at. The figures
  // are printed: they are the derivation of kStackPerLevel.
  // Measured on a larger stack, so that a shape that needs too much fails
  // here with its figure instead of crashing.
  PaintedStack stack(2 * Parser::kStackBytes);
  const std::size_t baseline =
      stack.bytes_used_by([] { (void)parse_expression("x"); });
  std::printf("%-28s %8s %10s %10s\n", "shape", "depth", "stack",
              "per counted level");
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const std::size_t deepest = deepest_within_bound(shape);
    const std::string text = nest(shape, deepest);
    const std::size_t used =
        stack.bytes_used_by([&] { parse_as(shape, text); });
    // Its deepest input passes nearly every counted level of the bound.
    const std::size_t per_level = (used - baseline) / Parser::kMaxNesting;
    std::printf("%-28s %8zu %10zu %10zu\n", std::string(shape.name).c_str(),
                deepest, used, per_level);
    EXPECT_LE(used, Parser::kStackBytes);
    EXPECT_LE(per_level, Parser::kStackPerLevel);
  }
  for (const BlockShape& shape : kBlockShapes) {
    SCOPED_TRACE(shape.name);
    const std::size_t deepest = deepest_within_bound(shape);
    const std::string text = nest_blocks(shape, deepest);
    const std::size_t used =
        stack.bytes_used_by([&] { (void)parse_module_with_errors(text); });
    // Python's limit of indentation stops blocks long before the bound.
    std::printf("%-28s %8zu %10zu %10zu\n", std::string(shape.name).c_str(),
                deepest, used, (used - baseline) / deepest);
    EXPECT_LE(used, Parser::kStackBytes);
  }
}

}  // namespace
}  // namespace divu
