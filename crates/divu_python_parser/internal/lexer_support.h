#pragma once

// What the lexer's files share: flag shorthands, the error of an f-string or
// t-string by kind, and the byte searches of string and comment bodies.
// Included by the lexer's own sources only.

#include <bit>
#include <cstdint>
#include <cstring>

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

// Word-at-a-time search for the first of up to three byte values: the
// bodies of strings and comments are scanned in one pass, not one per byte
// kind. Returns `end` when none occurs.
inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
// Marks the zero bytes of `x`. Only the lowest mark is exact (a borrow can
// mark bytes above a zero byte), which is all the search needs.
inline std::uint64_t zero_bytes(std::uint64_t x) {
  return (x - kOnes) & ~x & kHighs;
}
inline const char* find_first_of3(const char* p, const char* end, char a,
                                  char b, char c) {
  const std::uint64_t pa = kOnes * static_cast<unsigned char>(a);
  const std::uint64_t pb = kOnes * static_cast<unsigned char>(b);
  const std::uint64_t pc = kOnes * static_cast<unsigned char>(c);
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    std::uint64_t hits =
        zero_bytes(word ^ pa) | zero_bytes(word ^ pb) | zero_bytes(word ^ pc);
    if (hits != 0) {
      return p + std::countr_zero(hits) / 8;
    }
    p += 8;
  }
  for (; p < end; ++p) {
    if (*p == a || *p == b || *p == c) {
      return p;
    }
  }
  return end;
}

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
