// Lexes arbitrary UTF-8 text and decodes every string literal and f-string
// or t-string middle, checking the decoder's invariants: an error lies inside
// the token it was found in, a decoded string is valid UTF-8, and decoding
// never makes a value longer than its text.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "arena.h"
#include "fuzz_check.h"
#include "lexer.h"
#include "string_decoding.h"
#include "utf8.h"

namespace {

using fuzz::check;

template <class Result>
void check_result(const Result& result, divu::TextRange range,
                  std::size_t text_size) {
  if (!result) {
    check(range.contains_range(result.error().location));
    return;
  }
  std::string_view value;
  bool bytes = false;
  if constexpr (std::is_same_v<typename Result::value_type, divu::StringType>) {
    if (const auto* part = std::get_if<divu::BytesLiteral>(&*result)) {
      value = part->value;
      bytes = true;
    } else {
      value = std::get<divu::StringLiteral>(*result).value;
    }
  } else {
    value = result->value;
  }
  check(value.size() <= text_size);
  check(bytes || trelk::is_valid_utf8(value));
}

void decode_every_string(std::string_view text) {
  divu::Lexer lexer(text, divu::Mode::Module);
  divu::Arena arena;
  for (divu::TokenKind kind;
       (kind = lexer.next_token()) != divu::TokenKind::EndOfFile;) {
    const divu::TextRange range = lexer.current_range();
    const divu::AnyStringFlags flags(lexer.current_flags());
    if (kind == divu::TokenKind::String) {
      const std::string_view value =
          std::get<divu::StringValue>(lexer.current_value()).text.view();
      check_result(divu::parse_string_literal(value, flags, range, arena),
                   range, value.size());
    } else if (kind == divu::TokenKind::FStringMiddle ||
               kind == divu::TokenKind::TStringMiddle) {
      const std::string_view value =
          std::get<divu::InterpolatedStringMiddleValue>(lexer.current_value())
              .text.view();
      check_result(divu::parse_interpolated_string_literal_element(
                       value, flags, range, arena),
                   range, value.size());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  return fuzz::on_utf8_text(data, size, decode_every_string);
}
