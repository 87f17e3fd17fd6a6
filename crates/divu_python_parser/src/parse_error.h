#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text_size.h"
#include "token_kind.h"

namespace divu {

// What an error kind carries besides its kind (see parse_error.def).
enum class ErrorPayload : std::uint8_t {
  None,
  Text,
  QuotedText,
  ExpectedFound,
  Found,
  InterpolatedString,
  Lexical,
  Char,
};

// An error inside an f-string or t-string; the lexer and the parser wrap it
// according to the kind of the string.
enum class InterpolatedStringErrorType : std::uint8_t {
#define INTERPOLATED_STRING_ERROR(Name, message) Name,
#include "parse_error.def"
};

// The message of `error`, e.g. "unterminated string".
std::string_view display_text(InterpolatedStringErrorType error);

// Which of the two interpolated strings an operation is working on.
enum class InterpolatedStringKind : std::uint8_t { FString = 0, TString = 1 };

// "f-string" or "t-string".
std::string_view display_text(InterpolatedStringKind kind);

enum class LexicalErrorKind : std::uint8_t {
#define LEXICAL_ERROR(Name, payload, message) Name,
#include "parse_error.def"
};

// The payload that `kind` carries.
ErrorPayload payload_of(LexicalErrorKind kind);

// A lexical error's kind with its payload. A plain value.
class LexicalErrorType {
 public:
  // A kind without a payload, so that `LexicalErrorKind::UnexpectedEof` can
  // be passed where a LexicalErrorType is expected. REQUIRES: payload_of(kind)
  // is None; otherwise a broken invariant.
  LexicalErrorType(LexicalErrorKind kind);  // NOLINT: implicit on purpose

  // `UnrecognizedToken`: a character that starts no token.
  static LexicalErrorType unrecognized_token(char32_t tok);
  // `FStringError` or `TStringError`, chosen by `kind`.
  static LexicalErrorType interpolated_string(
      InterpolatedStringKind kind, InterpolatedStringErrorType error);
  // `OtherError` with its text.
  static LexicalErrorType other(std::string text);

  LexicalErrorKind kind() const { return kind_; }
  // REQUIRES: kind() is UnrecognizedToken.
  char32_t tok() const { return tok_; }
  // REQUIRES: kind() is FStringError or TStringError.
  InterpolatedStringErrorType interpolated_string_error() const {
    return interpolated_;
  }
  // REQUIRES: kind() is OtherError.
  const std::string& text() const { return text_; }

  // The message, with the payload written in.
  std::string to_string() const;

  friend bool operator==(const LexicalErrorType&,
                         const LexicalErrorType&) = default;

 private:
  struct Unchecked {};
  LexicalErrorType(Unchecked, LexicalErrorKind kind) : kind_(kind) {}

  LexicalErrorKind kind_;
  InterpolatedStringErrorType interpolated_{};
  char32_t tok_ = 0;
  std::string text_;
};

// An error of the lexer or the string decoder, at the range it is reported at.
struct LexicalError {
  LexicalErrorType error;
  TextRange location;

  friend bool operator==(const LexicalError&, const LexicalError&) = default;
};

enum class ParseErrorKind : std::uint8_t {
#define PARSE_ERROR(Name, payload, message) Name,
#include "parse_error.def"
};

// The payload that `kind` carries.
ErrorPayload payload_of(ParseErrorKind kind);

// The parser's own texts, each reported as the kind `OtherError`.
enum class OtherParseError : std::uint8_t {
#define OTHER_PARSE_ERROR(Name, payload, message) Name,
#include "parse_error.def"
};

// The payload that `message` carries: None or Text.
ErrorPayload payload_of(OtherParseError message);

// A syntax error's kind with its payload. A plain value.
class ParseErrorType {
 public:
  // A kind without a payload, so that `ParseErrorKind::EmptySlice` can be
  // passed where a ParseErrorType is expected. REQUIRES: payload_of(kind) is
  // None; otherwise a broken invariant.
  ParseErrorType(ParseErrorKind kind);  // NOLINT: implicit on purpose

  // `OtherError` with the text of `message`, so that
  // `OtherParseError::ExpectedPattern` can be passed where a ParseErrorType is
  // expected. REQUIRES: payload_of(message) is None; otherwise a broken
  // invariant.
  ParseErrorType(OtherParseError message);  // NOLINT: implicit on purpose

  // `OtherError` with its text.
  static ParseErrorType other(std::string text);
  // `OtherError` with the text of `message`, `text` written at its "{}".
  // REQUIRES: payload_of(message) is Text; otherwise a broken invariant.
  static ParseErrorType other(OtherParseError message, std::string_view text);
  // `DuplicateKeywordArgument` with the keyword's name.
  static ParseErrorType duplicate_keyword_argument(std::string name);
  // `ExpectedToken`.
  static ParseErrorType expected_token(TokenKind expected, TokenKind found);
  // `UnexpectedTokenAfterAsync`.
  static ParseErrorType unexpected_token_after_async(TokenKind found);
  // `FStringError` or `TStringError`, chosen by `kind`.
  static ParseErrorType interpolated_string(InterpolatedStringKind kind,
                                            InterpolatedStringErrorType error);
  // `Lexical`, carrying a lexical error's kind.
  static ParseErrorType lexical(LexicalErrorType error);

  ParseErrorKind kind() const { return kind_; }
  // REQUIRES: kind() is OtherError or DuplicateKeywordArgument.
  const std::string& text() const { return text_; }
  // REQUIRES: kind() is ExpectedToken.
  TokenKind expected() const { return expected_; }
  // REQUIRES: kind() is ExpectedToken or UnexpectedTokenAfterAsync.
  TokenKind found() const { return found_; }
  // REQUIRES: kind() is FStringError or TStringError.
  InterpolatedStringErrorType interpolated_string_error() const {
    return interpolated_;
  }
  // REQUIRES: kind() is Lexical.
  const LexicalErrorType& lexical_error() const { return lexical_; }

  // The message, with the payload written in. A `Lexical` kind reads exactly
  // as its lexical error.
  std::string to_string() const;

  friend bool operator==(const ParseErrorType&,
                         const ParseErrorType&) = default;

 private:
  struct Unchecked {};
  ParseErrorType(Unchecked, ParseErrorKind kind) : kind_(kind) {}

  ParseErrorKind kind_;
  TokenKind expected_ = TokenKind::Unknown;
  TokenKind found_ = TokenKind::Unknown;
  InterpolatedStringErrorType interpolated_{};
  std::string text_;
  LexicalErrorType lexical_ = LexicalErrorKind::UnexpectedEof;
};

// A syntax error of a parse, at the byte range it is reported at.
struct ParseError {
  ParseErrorType error;
  TextRange location;

  // The same error, travelling as the kind `Lexical`.
  static ParseError from_lexical(LexicalError error);

  // "{message} at byte range {start}..{end}".
  std::string to_string() const;

  friend bool operator==(const ParseError&, const ParseError&) = default;
};

}  // namespace divu
