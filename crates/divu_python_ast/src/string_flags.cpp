#include "string_flags.h"

#include <string>

#include "invariant.h"

namespace divu {
namespace {

using Bits = StringFlagBits;

// Where a literal flag type keeps the bits it copies from AnyStringFlags.
// A zero means the target has no such bit.
struct LiteralLayout {
  std::uint8_t double_quote;
  std::uint8_t triple_quoted;
  std::uint8_t raw_lower;
  std::uint8_t raw_upper;
  std::uint8_t unclosed;
  std::uint8_t u_prefix;
};

template <typename Flags>
constexpr LiteralLayout layout_of(bool has_u_prefix) {
  return {Flags::kDouble,
          Flags::kTripleQuoted,
          Flags::kRPrefixLower,
          Flags::kRPrefixUpper,
          Flags::kUnclosed,
          has_u_prefix ? StringLiteralFlags::kUPrefix : std::uint8_t{0}};
}

// The checked conversion shared by the four targets. `accepted` says whether
// the prefix bits fit the target; `target` names it in the failure message.
template <typename Flags>
Flags convert(AnyStringFlags flags, bool accepted, const char* target,
              bool has_u_prefix = false) {
  TRELK_CHECK(accepted,
              std::string("internal error: entered unreachable code: Should "
                          "never attempt to convert ") +
                  std::string(display_text(flags.prefix())) + " into " +
                  target);
  constexpr LiteralLayout kLayouts[2] = {layout_of<Flags>(false),
                                         layout_of<Flags>(true)};
  const LiteralLayout& layout = kLayouts[has_u_prefix ? 1 : 0];
  std::uint8_t out = 0;
  if (flags.contains(Bits::kDoubleQuote)) {
    out |= layout.double_quote;
  }
  if (flags.contains(Bits::kTripleQuote)) {
    out |= layout.triple_quoted;
  }
  if (flags.contains(Bits::kPrefixRawLower)) {
    out |= layout.raw_lower;
  } else if (flags.contains(Bits::kPrefixRawUpper)) {
    out |= layout.raw_upper;
  } else if (flags.contains(Bits::kPrefixU)) {
    out |= layout.u_prefix;
  }
  if (flags.contains(Bits::kUnclosed)) {
    out |= layout.unclosed;
  }
  return Flags(out);
}

// The raw variant of `flags`, or `otherwise` when neither raw bit is set.
StringPrefixVariant raw_variant(AnyStringFlags flags,
                                StringPrefixVariant otherwise) {
  if (flags.contains(Bits::kPrefixRawLower)) {
    return StringPrefixVariant::RawLower;
  }
  if (flags.contains(Bits::kPrefixRawUpper)) {
    return StringPrefixVariant::RawUpper;
  }
  return otherwise;
}

}  // namespace

AnyStringFlags AnyStringFlags::make(AnyStringPrefix prefix, QuoteStyle quote,
                                    bool triple_quoted) {
  std::uint16_t bits = 0;
  switch (prefix.kind) {
    case StringPrefixKind::Bytes:
      bits = kPrefixB;
      break;
    case StringPrefixKind::Format:
      bits = kPrefixF;
      break;
    case StringPrefixKind::Template:
      bits = kPrefixT;
      break;
    case StringPrefixKind::Regular:
      if (prefix.variant == StringPrefixVariant::Unicode) {
        bits = kPrefixU;
      }
      break;
  }
  if (prefix.variant == StringPrefixVariant::RawLower) {
    bits |= kPrefixRawLower;
  } else if (prefix.variant == StringPrefixVariant::RawUpper) {
    bits |= kPrefixRawUpper;
  }
  if (quote == QuoteStyle::Double) {
    bits |= kDoubleQuote;
  }
  if (triple_quoted) {
    bits |= kTripleQuote;
  }
  return AnyStringFlags(bits);
}

AnyStringPrefix AnyStringFlags::prefix() const {
  const auto plain = StringPrefixVariant::Plain;
  if (contains(kPrefixF)) {
    return {StringPrefixKind::Format, raw_variant(*this, plain)};
  }
  if (contains(kPrefixT)) {
    return {StringPrefixKind::Template, raw_variant(*this, plain)};
  }
  if (contains(kPrefixB)) {
    return {StringPrefixKind::Bytes, raw_variant(*this, plain)};
  }
  return {StringPrefixKind::Regular,
          raw_variant(*this, contains(kPrefixU) ? StringPrefixVariant::Unicode
                                                : StringPrefixVariant::Empty)};
}

StringLiteralFlags AnyStringFlags::to_string_literal_flags() const {
  return convert<StringLiteralFlags>(
      *this, !intersects(kPrefixF | kPrefixT | kPrefixB), "a regular string",
      /*has_u_prefix=*/true);
}

BytesLiteralFlags AnyStringFlags::to_bytes_literal_flags() const {
  return convert<BytesLiteralFlags>(
      *this, contains(kPrefixB) && !intersects(kPrefixF | kPrefixT),
      "a bytestring");
}

FStringFlags AnyStringFlags::to_fstring_flags() const {
  return convert<FStringFlags>(*this, contains(kPrefixF), "an f-string");
}

TStringFlags AnyStringFlags::to_tstring_flags() const {
  return convert<TStringFlags>(*this, contains(kPrefixT) && !contains(kPrefixF),
                               "a t-string");
}

}  // namespace divu
