#pragma once

#include <cstdint>
#include <initializer_list>

#include "token_kind.h"

namespace divu {

// A set of token kinds as a bit set over their fixed numbering: a membership
// test is one shift and one mask, which matters because the parser tests the
// current token against some set at nearly every step.
class TokenSet {
 public:
  constexpr TokenSet() = default;
  constexpr TokenSet(std::initializer_list<TokenKind> kinds) {
    for (TokenKind kind : kinds) {
      add(kind);
    }
  }

  constexpr bool contains(TokenKind kind) const {
    const unsigned index = static_cast<unsigned>(kind);
    return ((index < 64 ? low_ >> index : high_ >> (index - 64)) & 1u) != 0;
  }
  constexpr TokenSet operator|(TokenSet other) const {
    TokenSet result;
    result.low_ = low_ | other.low_;
    result.high_ = high_ | other.high_;
    return result;
  }
  constexpr TokenSet without(TokenKind kind) const {
    TokenSet result = *this;
    const unsigned index = static_cast<unsigned>(kind);
    if (index < 64) {
      result.low_ &= ~(std::uint64_t{1} << index);
    } else {
      result.high_ &= ~(std::uint64_t{1} << (index - 64));
    }
    return result;
  }
  constexpr bool empty() const { return low_ == 0 && high_ == 0; }

 private:
  constexpr void add(TokenKind kind) {
    const unsigned index = static_cast<unsigned>(kind);
    if (index < 64) {
      low_ |= std::uint64_t{1} << index;
    } else {
      high_ |= std::uint64_t{1} << (index - 64);
    }
  }

  std::uint64_t low_ = 0;
  std::uint64_t high_ = 0;
};

static_assert(kTokenKindCount <= 128, "TokenSet holds 128 kinds");

// The token kinds that can start an expression, soft keywords included.
inline constexpr TokenSet kExpressionStart = {
    TokenKind::Name,         TokenKind::Int,
    TokenKind::Float,        TokenKind::Complex,
    TokenKind::String,       TokenKind::FStringStart,
    TokenKind::TStringStart, TokenKind::IpyEscapeCommand,
    TokenKind::Lpar,         TokenKind::Lsqb,
    TokenKind::Lbrace,       TokenKind::Plus,
    TokenKind::Minus,        TokenKind::Star,
    TokenKind::DoubleStar,   TokenKind::Tilde,
    TokenKind::Ellipsis,     TokenKind::Await,
    TokenKind::False,        TokenKind::Lambda,
    TokenKind::None,         TokenKind::Not,
    TokenKind::True,         TokenKind::Yield,
    TokenKind::Case,         TokenKind::Match,
    TokenKind::Type,
};

// Simple statements start with an expression or one of these keywords.
inline constexpr TokenSet kSimpleStatementStart =
    kExpressionStart |
    TokenSet{TokenKind::Assert, TokenKind::Break,    TokenKind::Continue,
             TokenKind::Del,    TokenKind::From,     TokenKind::Global,
             TokenKind::Import, TokenKind::Nonlocal, TokenKind::Pass,
             TokenKind::Raise,  TokenKind::Return};

inline constexpr TokenSet kCompoundStatementStart = {
    TokenKind::Async, TokenKind::Class, TokenKind::Def,   TokenKind::For,
    TokenKind::If,    TokenKind::Try,   TokenKind::While, TokenKind::With,
    TokenKind::Match, TokenKind::At,
};

// Every token that can start a statement: the element starts of the
// statement lists.
inline constexpr TokenSet kStatementStart =
    kSimpleStatementStart | kCompoundStatementStart;

// The token kinds that can start a pattern.
inline constexpr TokenSet kPatternStart = {
    TokenKind::Name,   TokenKind::Int,   TokenKind::Float, TokenKind::Complex,
    TokenKind::String, TokenKind::Lpar,  TokenKind::Lsqb,  TokenKind::Lbrace,
    TokenKind::Plus,   TokenKind::Minus, TokenKind::Star,  TokenKind::False,
    TokenKind::None,   TokenKind::True,  TokenKind::Case,  TokenKind::Match,
    TokenKind::Type,
};

// A name, or a soft keyword used as one.
inline constexpr TokenSet kNameLike = {TokenKind::Name, TokenKind::Case,
                                       TokenKind::Match, TokenKind::Type};

// Every keyword, soft keywords included.
inline constexpr TokenSet kKeywords = [] {
  TokenSet set;
  for (int kind = static_cast<int>(TokenKind::And);
       kind <= static_cast<int>(TokenKind::Type); ++kind) {
    set = set | TokenSet{static_cast<TokenKind>(kind)};
  }
  return set;
}();

// Where a broken parameter list gives up: tokens that begin what follows a
// definition's header.
inline constexpr TokenSet kDefinitionRecovery = {
    TokenKind::At,    TokenKind::Rarrow, TokenKind::Async, TokenKind::Class,
    TokenKind::Def,   TokenKind::For,    TokenKind::If,    TokenKind::Try,
    TokenKind::While, TokenKind::With,   TokenKind::Match,
};

}  // namespace divu
