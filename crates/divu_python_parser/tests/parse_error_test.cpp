#include "parse_error.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "invariant.h"

namespace divu {
namespace {

struct MessageCase {
  ParseErrorType error;
  std::string_view message;
};

using Lex = LexicalErrorType;
using Istr = InterpolatedStringErrorType;
constexpr auto kF = InterpolatedStringKind::FString;
constexpr auto kT = InterpolatedStringKind::TString;

// Every parse error kind, in tag order, with its message.
std::vector<MessageCase> parse_error_cases() {
  return {
      {.error = ParseErrorType::other("Expected a statement"),
       .message = "Expected a statement"},
      {.error = ParseErrorKind::EmptySlice,
       .message = "Expected index or slice expression"},
      {.error = ParseErrorKind::EmptyGlobalNames,
       .message = "Global statement must have at least one name"},
      {.error = ParseErrorKind::EmptyNonlocalNames,
       .message = "Nonlocal statement must have at least one name"},
      {.error = ParseErrorKind::EmptyDeleteTargets,
       .message = "Delete statement must have at least one target"},
      {.error = ParseErrorKind::EmptyImportNames,
       .message = "Expected one or more symbol names after import"},
      {.error = ParseErrorKind::EmptyTypeParams,
       .message = "Type parameter list cannot be empty"},
      {.error = ParseErrorKind::UnparenthesizedNamedExpression,
       .message = "Unparenthesized named expression cannot be used here"},
      {.error = ParseErrorKind::UnparenthesizedTupleExpression,
       .message = "Unparenthesized tuple expression cannot be used here"},
      {.error = ParseErrorKind::UnparenthesizedGeneratorExpression,
       .message = "Unparenthesized generator expression cannot be used here"},
      {.error = ParseErrorKind::InvalidLambdaUsage,
       .message = "Lambda expression cannot be used here"},
      {.error = ParseErrorKind::InvalidYieldUsage,
       .message = "Yield expression cannot be used here"},
      {.error = ParseErrorKind::InvalidStarredUsage,
       .message = "Starred expression cannot be used here"},
      {.error = ParseErrorKind::InvalidStarPatternUsage,
       .message = "Star pattern cannot be used here"},
      {.error = ParseErrorKind::ParamAfterVarKeywordParam,
       .message = "Parameter cannot follow var-keyword parameter"},
      {.error = ParseErrorKind::NonDefaultParamAfterDefaultParam,
       .message = "Parameter without a default cannot follow a parameter with "
                  "a default"},
      {.error = ParseErrorKind::VarParameterWithDefault,
       .message = "Parameter with `*` or `**` cannot have default value"},
      {.error = ParseErrorType::duplicate_keyword_argument("x"),
       .message = "Duplicate keyword argument \"x\""},
      {.error = ParseErrorKind::InvalidAssignmentTarget,
       .message = "Invalid assignment target"},
      {.error = ParseErrorKind::InvalidNamedAssignmentTarget,
       .message = "Assignment expression target must be an identifier"},
      {.error = ParseErrorKind::InvalidAnnotatedAssignmentTarget,
       .message = "Invalid annotated assignment target"},
      {.error = ParseErrorKind::InvalidAugmentedAssignmentTarget,
       .message = "Invalid augmented assignment target"},
      {.error = ParseErrorKind::InvalidDeleteTarget,
       .message = "Invalid delete target"},
      {.error = ParseErrorKind::PositionalAfterKeywordArgument,
       .message = "Positional argument cannot follow keyword argument"},
      {.error = ParseErrorKind::PositionalAfterKeywordUnpacking,
       .message =
           "Positional argument cannot follow keyword argument unpacking"},
      {.error = ParseErrorKind::UnpackingAfterKeywordUnpacking,
       .message = "Iterable argument unpacking cannot follow keyword argument "
                  "unpacking"},
      {.error = ParseErrorKind::IterableUnpackingInComprehension,
       .message = "Iterable unpacking cannot be used in a comprehension"},
      {.error = ParseErrorKind::SimpleStatementsOnSameLine,
       .message =
           "Simple statements must be separated by newlines or semicolons"},
      {.error = ParseErrorKind::SimpleAndCompoundStatementOnSameLine,
       .message = "Compound statements are not allowed on the same line as "
                  "simple statements"},
      {.error = ParseErrorKind::ExpectedKeywordParam,
       .message = "Expected one or more keyword parameter after `*` separator"},
      {.error = ParseErrorKind::ExpectedRealNumber,
       .message = "Expected a real number in complex literal pattern"},
      {.error = ParseErrorKind::ExpectedImaginaryNumber,
       .message = "Expected an imaginary number in complex literal pattern"},
      {.error = ParseErrorKind::ExpectedExpression,
       .message = "Expected an expression"},
      {.error =
           ParseErrorType::expected_token(TokenKind::Rpar, TokenKind::Newline),
       .message = "Expected `)`, found newline"},
      {.error = ParseErrorKind::UnexpectedIndentation,
       .message = "Unexpected indentation"},
      {.error = ParseErrorType::unexpected_token_after_async(TokenKind::Name),
       .message =
           "Expected `def`, `with` or `for` to follow `async`, found name"},
      {.error = ParseErrorKind::UnexpectedIpythonEscapeCommand,
       .message =
           "IPython escape commands are only allowed in `Mode::Ipython`"},
      {.error = ParseErrorKind::UnexpectedExpressionToken,
       .message = "Unexpected token at the end of an expression"},
      {.error = ParseErrorType::interpolated_string(kF, Istr::UnclosedLbrace),
       .message = "f-string: expecting `}`"},
      {.error =
           ParseErrorType::interpolated_string(kT, Istr::InvalidConversionFlag),
       .message = "t-string: invalid conversion character"},
      {.error = ParseErrorType::lexical(Lex::unrecognized_token(U'$')),
       .message = "Got unexpected token $"},
  };
}

TEST(ParseErrorTest, EveryParseKindHasItsMessage) {
  const std::vector<MessageCase> cases = parse_error_cases();
  ASSERT_EQ(cases.size(), 41u);
  for (std::size_t tag = 0; tag < cases.size(); ++tag) {
    const MessageCase& c = cases[tag];
    SCOPED_TRACE(c.message);
    EXPECT_EQ(static_cast<std::size_t>(c.error.kind()), tag);
    EXPECT_EQ(c.error.to_string(), c.message);
  }
}

struct LexicalCase {
  LexicalErrorType error;
  std::string_view message;
};

// Every lexical error kind, in tag order, with its message.
std::vector<LexicalCase> lexical_error_cases() {
  return {
      {.error = LexicalErrorKind::UnexpectedString,
       .message = "Got unexpected string"},
      {.error = LexicalErrorKind::UnclosedString,
       .message = "missing closing quote in string literal"},
      {.error = LexicalErrorKind::InvalidUnicodeEscape,
       .message = "Got unexpected unicode"},
      {.error = LexicalErrorKind::MissingUnicodeLbrace,
       .message = "Missing `{` in Unicode escape sequence"},
      {.error = LexicalErrorKind::MissingUnicodeRbrace,
       .message = "Missing `}` in Unicode escape sequence"},
      {.error = LexicalErrorKind::UnmatchedDedent,
       .message = "unindent does not match any outer indentation level"},
      {.error = Lex::unrecognized_token(U'$'),
       .message = "Got unexpected token $"},
      {.error = Lex::interpolated_string(kF, Istr::UnterminatedString),
       .message = "f-string: unterminated string"},
      {.error = Lex::interpolated_string(kT, Istr::SingleRbrace),
       .message = "t-string: single `}` is not allowed"},
      {.error = LexicalErrorKind::NonAsciiBytes,
       .message = "bytes can only contain ASCII literal characters"},
      {.error = LexicalErrorKind::LineContinuation,
       .message = "Expected a newline after line continuation character"},
      {.error = LexicalErrorKind::UnexpectedEof,
       .message = "unexpected EOF while parsing"},
      {.error = Lex::other("Invalid decimal integer literal"),
       .message = "Invalid decimal integer literal"},
  };
}

// A lexical error reads the same whether or not it travels as `Lexical`.
TEST(ParseErrorTest, EveryLexicalKindHasItsMessage) {
  const std::vector<LexicalCase> cases = lexical_error_cases();
  ASSERT_EQ(cases.size(), 13u);
  for (std::size_t tag = 0; tag < cases.size(); ++tag) {
    const LexicalCase& c = cases[tag];
    SCOPED_TRACE(c.message);
    EXPECT_EQ(static_cast<std::size_t>(c.error.kind()), tag);
    EXPECT_EQ(c.error.to_string(), c.message);
    EXPECT_EQ(ParseErrorType::lexical(c.error).to_string(), c.message);
  }
}

struct InterpolatedCase {
  InterpolatedStringErrorType error;
  std::string_view message;
};

constexpr InterpolatedCase kInterpolatedCases[] = {
    {.error = Istr::UnclosedLbrace, .message = "expecting `}`"},
    {.error = Istr::InvalidConversionFlag,
     .message = "invalid conversion character"},
    {.error = Istr::SingleRbrace, .message = "single `}` is not allowed"},
    {.error = Istr::UnterminatedString, .message = "unterminated string"},
    {.error = Istr::UnterminatedTripleQuotedString,
     .message = "unterminated triple-quoted string"},
    {.error = Istr::LambdaWithoutParentheses,
     .message = "lambda expressions are not allowed without parentheses"},
    {.error = Istr::ConversionFlagNotImmediatelyAfterExclamation,
     .message = "conversion type must come right after the exclamation mark"},
    {.error = Istr::NewlineInFormatSpec,
     .message = "newlines are not allowed in format specifiers when using "
                "single quotes"},
};

// Wrapped by the lexer or by the parser, an interpolated-string error reads
// "f-string: " or "t-string: " and its message.
TEST(ParseErrorTest, EveryInterpolatedStringKindHasItsMessage) {
  int tag = 0;
  for (const InterpolatedCase& c : kInterpolatedCases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(static_cast<int>(c.error), tag++);
    EXPECT_EQ(display_text(c.error), c.message);
    const std::string f = "f-string: " + std::string(c.message);
    const std::string t = "t-string: " + std::string(c.message);
    EXPECT_EQ(Lex::interpolated_string(kF, c.error).to_string(), f);
    EXPECT_EQ(Lex::interpolated_string(kT, c.error).to_string(), t);
    EXPECT_EQ(ParseErrorType::interpolated_string(kF, c.error).to_string(), f);
    EXPECT_EQ(ParseErrorType::interpolated_string(kT, c.error).to_string(), t);
  }
  EXPECT_EQ(tag, 8);
  EXPECT_EQ(display_text(kF), "f-string");
  EXPECT_EQ(display_text(kT), "t-string");
}

TEST(ParseErrorTest, DisplayAddsTheByteRange) {
  struct Case {
    ParseError error;
    std::string_view text;
  };
  const Case cases[] = {
      {.error = {ParseErrorType::expected_token(TokenKind::Rpar,
                                                TokenKind::Newline),
                 TextRange(10, 11)},
       .text = "Expected `)`, found newline at byte range 10..11"},
      {.error = {ParseErrorKind::EmptySlice, TextRange::empty(7)},
       .text = "Expected index or slice expression at byte range 7..7"},
      {.error = ParseError::from_lexical(
           {Lex::interpolated_string(kF, Istr::UnterminatedString),
            TextRange(0, 4)}),
       .text = "f-string: unterminated string at byte range 0..4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.error.to_string(), c.text);
  }
}

// Payload texts are written unchanged, except the duplicate keyword's name,
// which is quoted in debug form.
TEST(ParseErrorTest, PayloadTexts) {
  struct Case {
    ParseErrorType error;
    std::string_view message;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {.error = ParseErrorType::other("a \"b\"\\"), .message = "a \"b\"\\"},
      {.error = ParseErrorType::duplicate_keyword_argument("a\"b\\c\n\x01"),
       .message = "Duplicate keyword argument \"a\\\"b\\\\c\\n\\u{1}\""},
      // A combining mark left after normalisation is shown by its number.
      {.error = ParseErrorType::duplicate_keyword_argument("x\u0301"),
       .message = "Duplicate keyword argument \"x\\u{301}\""},
      {.error = ParseErrorType::duplicate_keyword_argument("\u00e9t\u00e9"),
       .message = "Duplicate keyword argument \"\u00e9t\u00e9\""},
      {.error = ParseErrorType::lexical(Lex::unrecognized_token(U'\u20ac')),
       .message = "Got unexpected token \u20ac"},
      {.error = ParseErrorType::lexical(Lex::other(std::string("nul\0in"sv))),
       .message = "nul\0in"sv},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(c.error.to_string(), c.message);
  }
}

// The parser's own texts travel as the kind OtherError, carrying the
// table's text with the named part written in.
TEST(ParseErrorTest, ParserTextsAreOtherErrors) {
  const std::vector<MessageCase> cases = {
      {.error = OtherParseError::TrailingCommaNotAllowed,
       .message = "Trailing comma not allowed"},
      {.error = OtherParseError::MissingClosingBrace,
       .message = "missing closing brace `}`"},
      {.error = ParseErrorType::other(OtherParseError::InvalidUnaryUsage, "-"),
       .message = "Unary '-' expression cannot be used here"},
      {.error = ParseErrorType::other(OtherParseError::ExpectedIndentedBlock,
                                      "`if` statement"),
       .message = "Expected an indented block after `if` statement"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(c.error.kind(), ParseErrorKind::OtherError);
    EXPECT_EQ(c.error.text(), c.message);
    EXPECT_EQ(c.error.to_string(), c.message);
  }
}

TEST(ParseErrorTest, KindWithPayloadNeedsItsFactory) {
  EXPECT_THROW(ParseErrorType(ParseErrorKind::ExpectedToken),
               trelk::InvariantFailure);
  EXPECT_THROW(LexicalErrorType(LexicalErrorKind::OtherError),
               trelk::InvariantFailure);
  // A parser text is given its named part exactly when it has a place for
  // one.
  EXPECT_THROW(ParseErrorType(OtherParseError::InvalidUnaryUsage),
               trelk::InvariantFailure);
  EXPECT_THROW(ParseErrorType::other(OtherParseError::ExpectedPattern, "x"),
               trelk::InvariantFailure);
}

}  // namespace
}  // namespace divu
