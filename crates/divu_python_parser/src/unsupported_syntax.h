#pragma once

#include <cstdint>
#include <string_view>

#include "text_size.h"

namespace divu {

// A Python version, compared by major, then minor.
struct PythonVersion {
  std::uint8_t major = 3;
  std::uint8_t minor = 10;
  friend constexpr auto operator<=>(PythonVersion, PythonVersion) = default;
};

// Syntax that the parser accepts but that the target version does not; the
// parse records it and goes on. Each kind with the first version that
// accepts it (ParenthesizedKeywordName is the other way round: accepted only
// up to 3.7).
// clang-format off
#define TRELK_UNSUPPORTED_SYNTAX_KINDS(X)            \
  X(MatchStatement, 3, 10)                           \
  X(NamedExpression, 3, 8)                           \
  X(ExceptStarClause, 3, 11)                         \
  X(UnparenthesizedNamedExpression, 3, 9)            \
  X(ParenthesizedKeywordName, 3, 7)                  \
  X(StarredTupleValue, 3, 8)                         \
  X(RelaxedDecoratorExpression, 3, 9)                \
  X(PositionalOnlyParameters, 3, 8)                  \
  X(TypeParameterList, 3, 12)                        \
  X(TypeAliasStatement, 3, 12)                       \
  X(TypeParameterDefault, 3, 13)                     \
  X(InterpolatedStringSyntax, 3, 12)                 \
  X(ParenthesizedWithItems, 3, 9)                    \
  X(StarredSubscriptIndex, 3, 11)                    \
  X(StarredAnnotation, 3, 11)                        \
  X(UnparenthesizedForIterableUnpacking, 3, 9)       \
  X(UnparenthesizedExceptTypes, 3, 14)               \
  X(TemplateString, 3, 14)
// clang-format on

enum class UnsupportedSyntaxKind : std::uint8_t {
#define TRELK_KIND(Name, major, minor) Name,
  TRELK_UNSUPPORTED_SYNTAX_KINDS(TRELK_KIND)
#undef TRELK_KIND
};

// Payloads of three kinds.
enum class UnparenthesizedNamedExpressionKind : std::uint8_t {
  SubscriptIndex,
  SetLiteral,
  SetComprehension,
};
enum class StarredTupleKind : std::uint8_t { ReturnValue, YieldValue };
enum class InterpolatedStringSyntaxKind : std::uint8_t {
  Backslash,
  EmbeddedComment,
  NestedQuote,
};

// A kind with its payload: `variant` holds the payload enumeration's value
// for the three kinds above, `description` names the decorator form of
// RelaxedDecoratorExpression (a static text).
struct UnsupportedSyntaxErrorKind {
  UnsupportedSyntaxKind kind;
  std::uint8_t variant = 0;
  std::string_view description;

  friend bool operator==(const UnsupportedSyntaxErrorKind&,
                         const UnsupportedSyntaxErrorKind&) = default;
};

// The version from which `kind` is accepted (up to which, for
// ParenthesizedKeywordName).
constexpr PythonVersion gate_version(UnsupportedSyntaxKind kind) {
  switch (kind) {
#define TRELK_KIND(Name, major, minor) \
  case UnsupportedSyntaxKind::Name:    \
    return {major, minor};
    TRELK_UNSUPPORTED_SYNTAX_KINDS(TRELK_KIND)
#undef TRELK_KIND
  }
  return {};
}

// Whether a parse for `target` records `kind`.
constexpr bool is_unsupported(UnsupportedSyntaxKind kind,
                              PythonVersion target) {
  if (kind == UnsupportedSyntaxKind::ParenthesizedKeywordName) {
    return target > gate_version(kind);
  }
  return target < gate_version(kind);
}

// One record of newer syntax. Records are kept with the parse result and
// never make a parse fail.
struct UnsupportedSyntaxError {
  UnsupportedSyntaxErrorKind kind;
  TextRange range;
  PythonVersion target_version;

  friend bool operator==(const UnsupportedSyntaxError&,
                         const UnsupportedSyntaxError&) = default;
};

}  // namespace divu
