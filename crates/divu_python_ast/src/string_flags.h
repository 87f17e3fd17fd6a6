#pragma once

#include <cstdint>

#include "bit_flags.h"
#include "str_prefix.h"
#include "token.h"

namespace divu {

enum class QuoteStyle : std::uint8_t { Single, Double };

// The flags of one part of a string literal, kept in the syntax tree. Each
// target accepts only literals of its own prefix kind.
class StringLiteralFlags : public BitFlags<StringLiteralFlags, std::uint8_t> {
 public:
  using BitFlags::BitFlags;
  static constexpr std::uint8_t kDouble = 0x01;
  static constexpr std::uint8_t kTripleQuoted = 0x02;
  static constexpr std::uint8_t kUPrefix = 0x04;
  static constexpr std::uint8_t kRPrefixLower = 0x08;
  static constexpr std::uint8_t kRPrefixUpper = 0x10;
  // The part's contents could not be decoded; only the parser sets it.
  static constexpr std::uint8_t kInvalid = 0x20;
  static constexpr std::uint8_t kUnclosed = 0x40;
};

class BytesLiteralFlags : public BitFlags<BytesLiteralFlags, std::uint8_t> {
 public:
  using BitFlags::BitFlags;
  static constexpr std::uint8_t kDouble = 0x01;
  static constexpr std::uint8_t kTripleQuoted = 0x02;
  static constexpr std::uint8_t kRPrefixLower = 0x04;
  static constexpr std::uint8_t kRPrefixUpper = 0x08;
  // The part's contents could not be decoded; only the parser sets it.
  static constexpr std::uint8_t kInvalid = 0x10;
  static constexpr std::uint8_t kUnclosed = 0x20;
};

// The flags of an f-string or a t-string (`Tag` tells the two apart).
template <typename Tag>
class InterpolatedStringFlags
    : public BitFlags<InterpolatedStringFlags<Tag>, std::uint8_t> {
 public:
  using BitFlags<InterpolatedStringFlags<Tag>, std::uint8_t>::BitFlags;
  static constexpr std::uint8_t kDouble = 0x01;
  static constexpr std::uint8_t kTripleQuoted = 0x02;
  static constexpr std::uint8_t kRPrefixLower = 0x04;
  static constexpr std::uint8_t kRPrefixUpper = 0x08;
  static constexpr std::uint8_t kUnclosed = 0x10;
};

using FStringFlags = InterpolatedStringFlags<struct FStringTag>;
using TStringFlags = InterpolatedStringFlags<struct TStringTag>;

// The flags of any string literal, with the bits of TokenFlags. A valid value
// has at most one of kPrefixB, kPrefixF and kPrefixT, at most one raw bit, and
// kPrefixU only alone.
class AnyStringFlags : public BitFlags<AnyStringFlags, std::uint16_t>,
                       public StringFlagBits {
 public:
  using BitFlags::BitFlags;
  // The flags of a string token, its unclosed mark included.
  explicit constexpr AnyStringFlags(TokenFlags flags)
      : BitFlags(flags.bits()) {}

  // The flags of a literal with `prefix`, `quote` and triple quotes or not;
  // never unclosed.
  static AnyStringFlags make(AnyStringPrefix prefix, QuoteStyle quote,
                             bool triple_quoted);

  // The prefix these flags describe. With both raw bits set, the lower one
  // wins.
  AnyStringPrefix prefix() const;
  QuoteStyle quote_style() const {
    return contains(kDoubleQuote) ? QuoteStyle::Double : QuoteStyle::Single;
  }
  bool is_triple_quoted() const { return contains(kTripleQuote); }
  bool is_unclosed() const { return contains(kUnclosed); }

  // The literal flags of each target. REQUIRES: the prefix is of the target's
  // kind (f-string: kPrefixF; t-string: kPrefixT without kPrefixF; bytes:
  // kPrefixB alone of the three; regular: none of them); otherwise a broken
  // invariant.
  StringLiteralFlags to_string_literal_flags() const;
  BytesLiteralFlags to_bytes_literal_flags() const;
  FStringFlags to_fstring_flags() const;
  TStringFlags to_tstring_flags() const;
};

}  // namespace divu
