#include "string_flags.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "invariant.h"

namespace divu {
namespace {

using Bits = StringFlagBits;

struct PrefixCase {
  AnyStringPrefix prefix;
  std::uint16_t bits;  // without quote bits
  std::string_view display;
};

constexpr PrefixCase kPrefixCases[] = {
    {.prefix = {StringPrefixKind::Bytes, StringPrefixVariant::RawLower},
     .bits = 0x48,
     .display = "rb"},
    {.prefix = {StringPrefixKind::Bytes, StringPrefixVariant::RawUpper},
     .bits = 0x88,
     .display = "Rb"},
    {.prefix = {StringPrefixKind::Bytes, StringPrefixVariant::Plain},
     .bits = 0x08,
     .display = "b"},
    {.prefix = {StringPrefixKind::Format, StringPrefixVariant::RawLower},
     .bits = 0x50,
     .display = "rf"},
    {.prefix = {StringPrefixKind::Format, StringPrefixVariant::RawUpper},
     .bits = 0x90,
     .display = "Rf"},
    {.prefix = {StringPrefixKind::Format, StringPrefixVariant::Plain},
     .bits = 0x10,
     .display = "f"},
    {.prefix = {StringPrefixKind::Template, StringPrefixVariant::RawLower},
     .bits = 0x60,
     .display = "rt"},
    {.prefix = {StringPrefixKind::Template, StringPrefixVariant::RawUpper},
     .bits = 0xA0,
     .display = "Rt"},
    {.prefix = {StringPrefixKind::Template, StringPrefixVariant::Plain},
     .bits = 0x20,
     .display = "t"},
    {.prefix = {StringPrefixKind::Regular, StringPrefixVariant::RawLower},
     .bits = 0x40,
     .display = "r"},
    {.prefix = {StringPrefixKind::Regular, StringPrefixVariant::RawUpper},
     .bits = 0x80,
     .display = "R"},
    {.prefix = {StringPrefixKind::Regular, StringPrefixVariant::Empty},
     .bits = 0x00,
     .display = ""},
    {.prefix = {StringPrefixKind::Regular, StringPrefixVariant::Unicode},
     .bits = 0x04,
     .display = "u"},
};

// Every prefix makes its bits, reads back as itself, and displays canonically.
TEST(StringFlagsTest, PrefixRoundTrip) {
  for (const PrefixCase& c : kPrefixCases) {
    SCOPED_TRACE(c.bits);
    EXPECT_EQ(display_text(c.prefix), c.display);
    for (bool triple : {false, true}) {
      for (QuoteStyle quote : {QuoteStyle::Single, QuoteStyle::Double}) {
        const AnyStringFlags flags =
            AnyStringFlags::make(c.prefix, quote, triple);
        const std::uint16_t quote_bits =
            (quote == QuoteStyle::Double ? Bits::kDoubleQuote : 0) |
            (triple ? Bits::kTripleQuote : 0);
        EXPECT_EQ(flags.bits(), c.bits | quote_bits);
        EXPECT_EQ(flags.prefix(), c.prefix);
        EXPECT_EQ(flags.quote_style(), quote);
        EXPECT_EQ(flags.is_triple_quoted(), triple);
        EXPECT_FALSE(flags.is_unclosed());
      }
    }
  }
}

TEST(StringFlagsTest, RawUpperFormatDoubleTriple) {
  const AnyStringFlags flags = AnyStringFlags::make(
      {StringPrefixKind::Format, StringPrefixVariant::RawUpper},
      QuoteStyle::Double, true);
  EXPECT_EQ(flags.bits(), 0x93);
  EXPECT_EQ(display_text(flags.prefix()), "Rf");
  EXPECT_EQ(flags.to_fstring_flags().bits(), 0x0B);
}

enum class Target { Regular, Bytes, FString, TString };

struct ConversionCase {
  std::uint16_t flags;
  Target target;
  std::uint8_t literal;
};

constexpr ConversionCase kConversionCases[] = {
    // u with unclosed.
    {.flags = 0x104, .target = Target::Regular, .literal = 0x44},
    // rb unclosed.
    {.flags = 0x148, .target = Target::Bytes, .literal = 0x24},
    // Both raw bits: the lower one wins, in every target.
    {.flags = 0xC0, .target = Target::Regular, .literal = 0x08},
    {.flags = 0xC8, .target = Target::Bytes, .literal = 0x04},
    {.flags = 0xD0, .target = Target::FString, .literal = 0x04},
    {.flags = 0xE0, .target = Target::TString, .literal = 0x04},
    // A raw bit hides the u prefix.
    {.flags = 0x84, .target = Target::Regular, .literal = 0x10},
    {.flags = 0x113, .target = Target::FString, .literal = 0x13},
    {.flags = 0x1A3, .target = Target::TString, .literal = 0x1B},
    {.flags = 0x003, .target = Target::Regular, .literal = 0x03},
};

std::uint8_t convert(AnyStringFlags flags, Target target) {
  switch (target) {
    case Target::Regular:
      return flags.to_string_literal_flags().bits();
    case Target::Bytes:
      return flags.to_bytes_literal_flags().bits();
    case Target::FString:
      return flags.to_fstring_flags().bits();
    case Target::TString:
      return flags.to_tstring_flags().bits();
  }
  return 0;
}

TEST(StringFlagsTest, ConversionsToLiteralFlags) {
  for (const ConversionCase& c : kConversionCases) {
    SCOPED_TRACE(c.flags);
    EXPECT_EQ(convert(AnyStringFlags(c.flags), c.target), c.literal);
  }
}

struct MisuseCase {
  std::uint16_t flags;
  Target target;
  std::string_view message;
};

constexpr MisuseCase kMisuseCases[] = {
    {.flags = 0x08,
     .target = Target::Regular,
     .message = "internal error: entered unreachable code: Should never "
                "attempt to convert b into a regular string"},
    {.flags = 0x00,
     .target = Target::FString,
     .message = "internal error: entered unreachable code: Should never "
                "attempt to convert  into an f-string"},
    {.flags = 0x50,
     .target = Target::TString,
     .message = "internal error: entered unreachable code: Should never "
                "attempt to convert rf into a t-string"},
    {.flags = 0xA0,
     .target = Target::Bytes,
     .message = "internal error: entered unreachable code: Should never "
                "attempt to convert Rt into a bytestring"},
};

TEST(StringFlagsTest, ConversionOfAnotherKindIsABrokenInvariant) {
  for (const MisuseCase& c : kMisuseCases) {
    SCOPED_TRACE(c.message);
    try {
      convert(AnyStringFlags(c.flags), c.target);
      ADD_FAILURE() << "no failure";
    } catch (const trelk::InvariantFailure& failure) {
      EXPECT_EQ(failure.message(), c.message);
    }
  }
}

}  // namespace
}  // namespace divu
