#pragma once

#include <cstdint>
#include <string_view>

namespace divu {

// The kind of a token. The numbering is fixed (see token_kind.def): keyword
// classes are number ranges and the parser's expected-token tables are built
// over these numbers.
enum class TokenKind : std::uint8_t {
#define TOKEN(Name, display) Name,
#include "token_kind.def"
};

// The number of token kinds.
inline constexpr int kTokenKindCount = 0
#define TOKEN(Name, display) +1
#include "token_kind.def"
    ;

namespace token_kind_internal {

inline constexpr std::string_view kDisplayTexts[] = {
#define TOKEN(Name, display) display,
#include "token_kind.def"
};

inline constexpr std::string_view kDebugTexts[] = {
#define TOKEN(Name, display) #Name,
#include "token_kind.def"
};

inline constexpr std::string_view kSourceTexts[] = {
#define TOKEN(Name, display) "",
#define TOKEN_OPERATOR(Name, text) text,
#define TOKEN_KEYWORD(Name, word) word,
#include "token_kind.def"
};

}  // namespace token_kind_internal

// The text that names `kind` in messages such as "Expected {}, found {}":
// "name", "newline", "`(`", "`and`", "NonLogicalNewline".
constexpr std::string_view display_text(TokenKind kind) {
  return token_kind_internal::kDisplayTexts[static_cast<int>(kind)];
}

// The variant name of `kind`, as tools print it: "CircumFlex", "Lpar".
constexpr std::string_view debug_text(TokenKind kind) {
  return token_kind_internal::kDebugTexts[static_cast<int>(kind)];
}

// The source text of an operator, delimiter, keyword or soft keyword ("(",
// "**=", "and", "None", "match"); empty for every other kind.
constexpr std::string_view source_text(TokenKind kind) {
  return token_kind_internal::kSourceTexts[static_cast<int>(kind)];
}

// Keywords as the parser tests them: `And` to `Type`, soft keywords included.
constexpr bool is_keyword(TokenKind kind) {
  return kind >= TokenKind::And && kind <= TokenKind::Type;
}

// `case`, `match` and `type`: the lexer always produces these kinds for the
// three words, and the parser decides whether they act as names.
constexpr bool is_soft_keyword(TokenKind kind) {
  return kind >= TokenKind::Case && kind <= TokenKind::Type;
}

// Operators and delimiters: `Question` to `Ellipsis`.
constexpr bool is_operator(TokenKind kind) {
  return kind >= TokenKind::Question && kind <= TokenKind::Ellipsis;
}

// Comments and non-logical newlines: kept in the token list, never shown to
// the grammar.
constexpr bool is_trivia(TokenKind kind) {
  return kind == TokenKind::Comment || kind == TokenKind::NonLogicalNewline;
}

// The start, middle and end kinds of f-strings and t-strings.
constexpr bool is_interpolated_string_kind(TokenKind kind) {
  return kind >= TokenKind::FStringStart && kind <= TokenKind::TStringEnd;
}

// The numbering that other tables depend on.
static_assert(kTokenKindCount == 106);
static_assert(static_cast<int>(TokenKind::EndOfFile) == 17);
static_assert(static_cast<int>(TokenKind::Question) == 18);
static_assert(static_cast<int>(TokenKind::Ellipsis) == 66);
static_assert(static_cast<int>(TokenKind::And) == 67);
static_assert(static_cast<int>(TokenKind::False) == 80);
static_assert(static_cast<int>(TokenKind::None) == 90);
static_assert(static_cast<int>(TokenKind::True) == 97);
static_assert(static_cast<int>(TokenKind::Yield) == 101);
static_assert(static_cast<int>(TokenKind::Case) == 102);
static_assert(static_cast<int>(TokenKind::Type) == 104);
static_assert(static_cast<int>(TokenKind::Unknown) == 105);

}  // namespace divu
