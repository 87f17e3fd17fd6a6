#pragma once

#include <cstdint>

#include "token.h"

namespace divu {

// One open f-string or t-string.
struct InterpolationContext {
  // The lexer's bracket nesting when the string started.
  std::uint32_t nesting = 0;
  // How many format specifications are open inside the string.
  std::uint32_t format_spec_depth = 0;
  // The string's flags: PREFIX_F or PREFIX_T, the raw bits, the quoting.
  TokenFlags flags;

  bool is_triple_quoted() const {
    return flags.intersects(TokenFlags::kTripleQuote);
  }
  bool is_raw() const {
    return flags.intersects(TokenFlags::kPrefixRawLower |
                            TokenFlags::kPrefixRawUpper);
  }
  bool is_fstring() const { return flags.intersects(TokenFlags::kPrefixF); }
  char quote() const {
    return flags.intersects(TokenFlags::kDoubleQuote) ? '"' : '\'';
  }
  // Brackets opened since the string started, given the lexer's nesting.
  std::uint32_t open_brackets(std::uint32_t nesting_now) const {
    return nesting_now > nesting ? nesting_now - nesting : 0;
  }
  // True when the lexer is in the string's literal text (possibly a format
  // specification), not inside a replacement field's expression.
  bool in_literal_part(std::uint32_t nesting_now) const {
    return open_brackets(nesting_now) <= format_spec_depth;
  }
  bool in_format_spec(std::uint32_t nesting_now) const {
    return format_spec_depth > 0 && in_literal_part(nesting_now);
  }
};

}  // namespace divu
