#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "parse_error.h"
#include "string_flags.h"
#include "text_size.h"

// Decoding of string literals: backslash escapes, the ASCII check of bytes
// literals and the literal parts of f-strings and t-strings. The lexer hands
// over the undecoded text of a literal; the parser's string code calls these
// functions once per part and turns a failure into a syntax error.

namespace divu {

// The decoded value of one literal part. When the input needed no decoding
// it views the input itself (no copy is made); otherwise it owns a new text.
class DecodedText {
 public:
  // A value that is the input unchanged; it lives as long as the input.
  static DecodedText unchanged(std::string_view text) {
    DecodedText result;
    result.unchanged_ = text;
    return result;
  }
  // A value that decoding produced.
  static DecodedText decoded(std::string text) {
    DecodedText result;
    result.decoded_ = std::move(text);
    result.is_copy_ = true;
    return result;
  }

  std::string_view view() const {
    return is_copy_ ? std::string_view(decoded_) : unchanged_;
  }
  // True when the value is a new text rather than a view of the input.
  bool is_copy() const { return is_copy_; }

 private:
  DecodedText() = default;

  std::string_view unchanged_;
  std::string decoded_;
  bool is_copy_ = false;
};

// Which record a decoded literal part becomes.
enum class StringType : std::uint8_t { Str, Bytes, FString, TString };

// One decoded string or bytes literal part: its value, the range of the whole
// token, and the flags of its record (`string_flags` for Str, `bytes_flags`
// for Bytes).
struct DecodedStringLiteral {
  StringType type = StringType::Str;
  DecodedText value = DecodedText::unchanged({});
  TextRange range;
  StringLiteralFlags string_flags{};
  BytesLiteralFlags bytes_flags{};
};

// The literal text of an f-string or t-string, decoded, with the range of
// its middle token.
struct DecodedLiteralElement {
  DecodedText value = DecodedText::unchanged({});
  TextRange range;
};

// Decodes the contents of a String token: `text` is the source between the
// quotes, `flags` the token's flags, `range` the whole token's range (prefix
// and quotes included). Errors are located in the source.
// REQUIRES: `text` is valid UTF-8; it must outlive an unchanged result.
[[nodiscard]] std::expected<DecodedStringLiteral, LexicalError>
parse_string_literal(std::string_view text, AnyStringFlags flags,
                     TextRange range);

// Decodes the text of an f-string or t-string middle token, in which the
// lexer has reduced every doubled brace to one; `range` is the middle's range
// in the source. Escapes are decoded as in a string (never as in bytes), and
// error locations account for the removed braces.
// REQUIRES: as for parse_string_literal.
[[nodiscard]] std::expected<DecodedLiteralElement, LexicalError>
parse_interpolated_string_literal_element(std::string_view text,
                                          AnyStringFlags flags,
                                          TextRange range);

}  // namespace divu
