// Number literals: integers in every radix, floats and imaginary numbers,
// with underscores between digits.

#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "lexer.h"
#include "lexer_support.h"

namespace divu {

using namespace lexer_detail;

namespace {

bool is_digit_of(unsigned char c, unsigned radix) {
  switch (radix) {
    case 2:
      return c == '0' || c == '1';
    case 8:
      return c >= '0' && c <= '7';
    case 10:
      return c >= '0' && c <= '9';
    default:
      return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
             (c >= 'A' && c <= 'F');
  }
}

class LexedText {
 public:
  LexedText(std::string_view source, TextSize start)
      : source_(source), start_(start), end_(start) {}
  void push(char c) {
    if (owned_) {
      copy_.push_back(c);
    } else {
      ++end_;
    }
  }
  // Called where a source byte is left out of the text.
  void skip() {
    if (!owned_) {
      copy_.assign(source_.substr(start_, end_ - start_));
      owned_ = true;
    }
  }
  bool is_owned() const { return owned_; }
  std::string_view view() const {
    return owned_ ? std::string_view(copy_)
                  : source_.substr(start_, end_ - start_);
  }

 private:
  std::string_view source_;
  TextSize start_;
  TextSize end_;
  std::string copy_;
  bool owned_ = false;
};

void radix_run(Cursor& cursor, LexedText& text, unsigned radix) {
  while (true) {
    unsigned char c = cursor.first_byte();
    if (!cursor.is_eof() && is_digit_of(c, radix)) {
      cursor.bump_byte();
      text.push(static_cast<char>(c));
    } else if (c == '_' && is_digit_of(cursor.byte_at(1), radix)) {
      cursor.bump_byte();
      text.skip();
    } else {
      return;
    }
  }
}

// Reads a float literal's text (digits, ".", exponent) as the nearest
// double, independent of the C locale. Out-of-range values round to
// infinity or zero, as a correctly rounding reader gives them.
std::optional<double> parse_float(std::string_view text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(),
                                   value, std::chars_format::general);
  if (end != text.data() + text.size()) {
    return std::nullopt;
  }
  if (ec == std::errc::result_out_of_range) {
    // The decimal exponent of the first significant digit tells overflow
    // from underflow; the two limits lie hundreds of orders apart.
    long long magnitude = 0;
    std::size_t exponent_at = text.find_first_of("eE");
    std::string_view mantissa = text.substr(0, exponent_at);
    std::size_t dot = mantissa.find('.');
    std::size_t integer_digits =
        dot == std::string_view::npos ? mantissa.size() : dot;
    std::size_t first_significant = mantissa.find_first_of("123456789");
    if (first_significant == std::string_view::npos) {
      return 0.0;
    }
    magnitude = first_significant < integer_digits
                    ? static_cast<long long>(integer_digits - first_significant)
                    : -static_cast<long long>(first_significant - dot);
    if (exponent_at != std::string_view::npos) {
      std::string_view exponent = text.substr(exponent_at + 1);
      bool negative = !exponent.empty() && exponent[0] == '-';
      if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) {
        exponent.remove_prefix(1);
      }
      long long e = 0;
      for (char digit : exponent) {
        e = e < 100000000 ? e * 10 + (digit - '0') : e;
      }
      magnitude += negative ? -e : e;
    }
    return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  if (ec != std::errc()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

TokenKind Lexer::lex_number_radix(unsigned radix) {
  LexedText digits(source_, cursor_.offset());
  radix_run(cursor_, digits, radix);
  std::string_view token_text =
      source_.substr(cursor_.token_start(), cursor_.token_length());
  std::expected<Int, IntErrorKind> value =
      Int::from_str_radix(digits.view(), radix, token_text);
  if (!value) {
    return push_error(
        LexicalErrorType::other(std::string(debug_text(value.error()))),
        cursor_.token_range());
  }
  // A Big value views the token text, a slice of the source.
  current_value_ = value->is_big()
                       ? IntValue(ValueText::borrowed(value->big_text()))
                       : IntValue(value->small_value());
  return TokenKind::Int;
}

TokenKind Lexer::lex_decimal_number(unsigned char first) {
  LexedText text(source_, cursor_.token_start());
  text.push(static_cast<char>(first));
  bool is_float = first == '.';
  if (!is_float) {
    radix_run(cursor_, text, 10);
    if (cursor_.eat_byte('.')) {
      text.push('.');
      is_float = true;
    }
  }
  if (is_float) {
    if (cursor_.eat_byte('_')) {
      TextSize end = cursor_.offset();
      return push_error(LexicalErrorType::other("Invalid Syntax"),
                        TextRange(end - 1, end));
    }
    radix_run(cursor_, text, 10);
  }
  unsigned char e = cursor_.first_byte();
  if (e == 'e' || e == 'E') {
    unsigned char sign = cursor_.byte_at(1);
    bool digit_next = sign >= '0' && sign <= '9';
    bool signed_digit = (sign == '+' || sign == '-') &&
                        cursor_.byte_at(2) >= '0' && cursor_.byte_at(2) <= '9';
    if (digit_next || signed_digit) {
      cursor_.bump_byte();
      text.push(static_cast<char>(e));
      if (signed_digit) {
        cursor_.bump_byte();
        text.push(static_cast<char>(sign));
      }
      radix_run(cursor_, text, 10);
      is_float = true;
    }
  }
  if (!is_float) {
    if (cursor_.eat_byte('j') || cursor_.eat_byte('J')) {
      std::optional<double> imag = parse_float(text.view());
      if (!imag) {
        return push_error(LexicalErrorType::other("Invalid decimal literal"),
                          cursor_.token_range());
      }
      current_value_ = ComplexValue{.real = 0, .imag = *imag};
      return TokenKind::Complex;
    }
    std::expected<Int, IntErrorKind> value = Int::from_decimal(text.view());
    if (!value) {
      return push_error(
          LexicalErrorType::other(std::string(debug_text(value.error()))),
          cursor_.token_range());
    }
    bool is_zero = value->is_small() && value->small_value() == 0;
    if (first == '0' && !is_zero) {
      return push_error(
          LexicalErrorType::other("Invalid decimal integer literal"),
          cursor_.token_range());
    }
    if (value->is_big()) {
      current_value_ = IntValue(
          text.is_owned() ? ValueText::owned(std::string(value->big_text()))
                          : ValueText::borrowed(value->big_text()));
    } else {
      current_value_ = IntValue(value->small_value());
    }
    return TokenKind::Int;
  }
  std::optional<double> value = parse_float(text.view());
  if (!value) {
    return push_error(LexicalErrorType::other("Invalid decimal literal"),
                      cursor_.token_range());
  }
  if (cursor_.eat_byte('j') || cursor_.eat_byte('J')) {
    current_value_ = ComplexValue{.real = 0, .imag = *value};
    return TokenKind::Complex;
  }
  current_value_ = *value;
  return TokenKind::Float;
}

}  // namespace divu
