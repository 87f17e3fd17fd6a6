#pragma once

#include <expected>
#include <string_view>
#include <variant>

#include "arena.h"
#include "parse_error.h"
#include "string_flags.h"
#include "syntax_tree.h"
#include "text_size.h"

// Decoding of string literals: backslash escapes, the ASCII check of bytes
// literals and the literal parts of f-strings and t-strings. The lexer hands
// over the undecoded text of a literal; the parser's string code calls these
// functions once per part and turns a failure into a syntax error.

namespace divu {

// A decoded literal part. This module produces `StringLiteral` (a string)
// and `BytesLiteral`; the parser's string code assembles the other two.
using StringType = std::variant<StringLiteral, BytesLiteral, FString, TString>;

// Decodes the contents of a String token: `text` is the source between the
// quotes, `flags` the token's flags, `range` the whole token's range (prefix
// and quotes included). The part's value views `text` itself when nothing
// needed decoding (no copy is made), and a text in `arena` otherwise. Errors
// are located in the source.
// REQUIRES: `text` is valid UTF-8 and outlives the part.
[[nodiscard]] std::expected<StringType, LexicalError> parse_string_literal(
    std::string_view text, AnyStringFlags flags, TextRange range, Arena& arena);

// Decodes the text of an f-string or t-string middle token, in which the
// lexer has reduced every doubled brace to one; `range` is the middle's range
// in the source. Escapes are decoded as in a string (never as in bytes), and
// error locations account for the removed braces. The value is kept or
// placed as by parse_string_literal.
// REQUIRES: as for parse_string_literal.
[[nodiscard]] std::expected<InterpolatedStringElementLiteral, LexicalError>
parse_interpolated_string_literal_element(std::string_view text,
                                          AnyStringFlags flags, TextRange range,
                                          Arena& arena);

}  // namespace divu
