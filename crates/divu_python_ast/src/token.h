#pragma once

#include <cstdint>

#include "bit_flags.h"
#include "text_size.h"
#include "token_kind.h"

namespace divu {

// The bits shared by TokenFlags and AnyStringFlags.
struct StringFlagBits {
  // The quote character is a double quote (absent: a single quote).
  static constexpr std::uint16_t kDoubleQuote = 0x001;
  // The string is delimited by three quote characters.
  static constexpr std::uint16_t kTripleQuote = 0x002;
  static constexpr std::uint16_t kPrefixU = 0x004;         // `u` or `U`
  static constexpr std::uint16_t kPrefixB = 0x008;         // `b` or `B`
  static constexpr std::uint16_t kPrefixF = 0x010;         // `f` or `F`
  static constexpr std::uint16_t kPrefixT = 0x020;         // `t` or `T`
  static constexpr std::uint16_t kPrefixRawLower = 0x040;  // `r`
  static constexpr std::uint16_t kPrefixRawUpper = 0x080;  // `R`
  // The string ended without its closing quote.
  static constexpr std::uint16_t kUnclosed = 0x100;
};

// The flags of a token. Only string tokens (`String` and the interpolated
// string kinds) carry bits; every other token has none.
class TokenFlags : public BitFlags<TokenFlags, std::uint16_t>,
                   public StringFlagBits {
 public:
  using BitFlags::BitFlags;
};

// One entry of a parse's token list. A token has no text of its own: its text
// is the source slice of its range. Kept small: a file has many tokens.
struct Token {
  TextRange range{};
  TokenFlags flags{};
  TokenKind kind = TokenKind::Unknown;
};

static_assert(sizeof(TokenFlags) == 2);
static_assert(sizeof(Token) == 12);

}  // namespace divu
