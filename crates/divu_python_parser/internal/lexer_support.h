#pragma once

// What the lexer's files share: flag shorthands, the error of an f-string or
// t-string by kind, and the continuation line break.
// Included by the lexer's own sources only.

#include <cstdint>

#include "cursor.h"
#include "parse_error.h"
#include "token.h"

namespace divu::lexer_detail {

using Bits = TokenFlags::Bits;
using F = TokenFlags;

inline constexpr Bits kPrefixBits = F::kPrefixU | F::kPrefixB | F::kPrefixF |
                                    F::kPrefixT | F::kPrefixRawLower |
                                    F::kPrefixRawUpper;

inline LexicalErrorType interpolated_string_error(
    bool is_fstring, InterpolatedStringErrorType type) {
  return LexicalErrorType::interpolated_string(
      is_fstring ? InterpolatedStringKind::FString
                 : InterpolatedStringKind::TString,
      type);
}

inline bool is_quote(unsigned char c) { return c == '"' || c == '\''; }

// After a backslash: consumes the line break of a continuation. Returns
// false when none follows.
inline bool eat_continuation_newline(Cursor& cursor) {
  if (cursor.eat_byte('\r')) {
    cursor.eat_byte('\n');
    return true;
  }
  return cursor.eat_byte('\n');
}

}  // namespace divu::lexer_detail
