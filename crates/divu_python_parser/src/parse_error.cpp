#include "parse_error.h"

#include <initializer_list>
#include <utility>

#include "debug_quote.h"
#include "invariant.h"
#include "utf8.h"

namespace divu {
namespace {

struct KindInfo {
  ErrorPayload payload;
  std::string_view message;
};

constexpr KindInfo kParseErrors[] = {
#define PARSE_ERROR(Name, payload, message) {ErrorPayload::payload, message},
#include "parse_error.def"
};

constexpr KindInfo kLexicalErrors[] = {
#define LEXICAL_ERROR(Name, payload, message) {ErrorPayload::payload, message},
#include "parse_error.def"
};

constexpr KindInfo kOtherParseErrors[] = {
#define OTHER_PARSE_ERROR(Name, payload, message) \
  {ErrorPayload::payload, message},
#include "parse_error.def"
};

// A parser text carries no payload or a text, and has a "{}" for it exactly
// when it carries one.
constexpr bool other_parse_errors_take_their_text() {
  for (const KindInfo& info : kOtherParseErrors) {
    const bool has_slot = info.message.find("{}") != std::string_view::npos;
    if (info.payload != ErrorPayload::None &&
        info.payload != ErrorPayload::Text) {
      return false;
    }
    if (has_slot != (info.payload == ErrorPayload::Text)) {
      return false;
    }
  }
  return true;
}
static_assert(other_parse_errors_take_their_text());

constexpr std::string_view kInterpolatedStringErrors[] = {
#define INTERPOLATED_STRING_ERROR(Name, message) message,
#include "parse_error.def"
};

// `message` with each "{}" replaced by the next of `args`.
std::string fill(std::string_view message,
                 std::initializer_list<std::string_view> args) {
  std::string out;
  auto arg = args.begin();
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '{' && i + 1 < message.size() && message[i + 1] == '}' &&
        arg != args.end()) {
      out += *arg++;
      ++i;
    } else {
      out += message[i];
    }
  }
  return out;
}

void check_no_payload(ErrorPayload payload) {
  TRELK_CHECK(payload == ErrorPayload::None,
              "internal error: entered unreachable code: error kind needs a "
              "payload");
}

}  // namespace

std::string_view display_text(InterpolatedStringErrorType error) {
  return kInterpolatedStringErrors[static_cast<int>(error)];
}

std::string_view display_text(InterpolatedStringKind kind) {
  return kind == InterpolatedStringKind::FString ? "f-string" : "t-string";
}

ErrorPayload payload_of(LexicalErrorKind kind) {
  return kLexicalErrors[static_cast<int>(kind)].payload;
}

ErrorPayload payload_of(ParseErrorKind kind) {
  return kParseErrors[static_cast<int>(kind)].payload;
}

ErrorPayload payload_of(OtherParseError message) {
  return kOtherParseErrors[static_cast<int>(message)].payload;
}

LexicalErrorType::LexicalErrorType(LexicalErrorKind kind) : kind_(kind) {
  check_no_payload(payload_of(kind));
}

LexicalErrorType LexicalErrorType::unrecognized_token(char32_t tok) {
  LexicalErrorType error(Unchecked{}, LexicalErrorKind::UnrecognizedToken);
  error.tok_ = tok;
  return error;
}

LexicalErrorType LexicalErrorType::interpolated_string(
    InterpolatedStringKind kind, InterpolatedStringErrorType interpolated) {
  LexicalErrorType error(Unchecked{}, kind == InterpolatedStringKind::FString
                                          ? LexicalErrorKind::FStringError
                                          : LexicalErrorKind::TStringError);
  error.interpolated_ = interpolated;
  return error;
}

LexicalErrorType LexicalErrorType::other(std::string text) {
  LexicalErrorType error(Unchecked{}, LexicalErrorKind::OtherError);
  error.text_ = std::move(text);
  return error;
}

std::string LexicalErrorType::to_string() const {
  const KindInfo& info = kLexicalErrors[static_cast<int>(kind_)];
  switch (info.payload) {
    case ErrorPayload::Text:
      return fill(info.message, {text_});
    case ErrorPayload::InterpolatedString:
      return fill(info.message, {display_text(interpolated_)});
    case ErrorPayload::Char: {
      std::string tok;
      trelk::append_utf8(tok, tok_);
      return fill(info.message, {tok});
    }
    default:
      return std::string(info.message);
  }
}

ParseErrorType::ParseErrorType(ParseErrorKind kind) : kind_(kind) {
  check_no_payload(payload_of(kind));
}

ParseErrorType::ParseErrorType(OtherParseError message)
    : kind_(ParseErrorKind::OtherError) {
  const KindInfo& info = kOtherParseErrors[static_cast<int>(message)];
  check_no_payload(info.payload);
  text_ = info.message;
}

ParseErrorType ParseErrorType::other(std::string text) {
  ParseErrorType error(Unchecked{}, ParseErrorKind::OtherError);
  error.text_ = std::move(text);
  return error;
}

ParseErrorType ParseErrorType::other(OtherParseError message,
                                     std::string_view text) {
  const KindInfo& info = kOtherParseErrors[static_cast<int>(message)];
  TRELK_CHECK(info.payload == ErrorPayload::Text,
              "internal error: entered unreachable code: error text takes no "
              "payload");
  return other(fill(info.message, {text}));
}

ParseErrorType ParseErrorType::duplicate_keyword_argument(std::string name) {
  ParseErrorType error(Unchecked{}, ParseErrorKind::DuplicateKeywordArgument);
  error.text_ = std::move(name);
  return error;
}

ParseErrorType ParseErrorType::expected_token(TokenKind expected,
                                              TokenKind found) {
  ParseErrorType error(Unchecked{}, ParseErrorKind::ExpectedToken);
  error.expected_ = expected;
  error.found_ = found;
  return error;
}

ParseErrorType ParseErrorType::unexpected_token_after_async(TokenKind found) {
  ParseErrorType error(Unchecked{}, ParseErrorKind::UnexpectedTokenAfterAsync);
  error.found_ = found;
  return error;
}

ParseErrorType ParseErrorType::interpolated_string(
    InterpolatedStringKind kind, InterpolatedStringErrorType interpolated) {
  ParseErrorType error(Unchecked{}, kind == InterpolatedStringKind::FString
                                        ? ParseErrorKind::FStringError
                                        : ParseErrorKind::TStringError);
  error.interpolated_ = interpolated;
  return error;
}

ParseErrorType ParseErrorType::lexical(LexicalErrorType lexical) {
  ParseErrorType error(Unchecked{}, ParseErrorKind::Lexical);
  error.lexical_ = std::move(lexical);
  return error;
}

std::string ParseErrorType::to_string() const {
  const KindInfo& info = kParseErrors[static_cast<int>(kind_)];
  switch (info.payload) {
    case ErrorPayload::Text:
      return fill(info.message, {text_});
    case ErrorPayload::QuotedText:
      return fill(info.message, {trelk::debug_quote(text_)});
    case ErrorPayload::ExpectedFound:
      return fill(info.message,
                  {display_text(expected_), display_text(found_)});
    case ErrorPayload::Found:
      return fill(info.message, {display_text(found_)});
    case ErrorPayload::InterpolatedString:
      return fill(info.message, {display_text(interpolated_)});
    case ErrorPayload::Lexical:
      return fill(info.message, {lexical_.to_string()});
    default:
      return std::string(info.message);
  }
}

ParseError ParseError::from_lexical(LexicalError error) {
  return {ParseErrorType::lexical(std::move(error.error)), error.location};
}

std::string ParseError::to_string() const {
  return error.to_string() + " at byte range " + location.to_string();
}

}  // namespace divu
