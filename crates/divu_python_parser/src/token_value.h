#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "int_value.h"
#include "ipy_escape_kind.h"

namespace divu {

// The text of a token value: a view into the source text when the value is
// a slice of it (the usual case, no allocation), or text of its own when the
// lexer had to change it (a normalised identifier, an f-string middle with
// doubled braces). A borrowed text lives as long as the source text.
class ValueText {
 public:
  ValueText() = default;
  static ValueText borrowed(std::string_view text) {
    ValueText value;
    value.view_ = text;
    return value;
  }
  static ValueText owned(std::string text) {
    ValueText value;
    value.owned_ = std::move(text);
    value.is_owned_ = true;
    return value;
  }
  std::string_view view() const {
    return is_owned_ ? std::string_view(owned_) : view_;
  }
  bool is_owned() const { return is_owned_; }
  friend bool operator==(const ValueText& a, const ValueText& b) {
    return a.view() == b.view();
  }

 private:
  std::string_view view_;
  std::string owned_;
  bool is_owned_ = false;
};

// An identifier, normalised to NFKC when it holds a non-ASCII character.
struct NameValue {
  ValueText text;
  friend bool operator==(const NameValue&, const NameValue&) = default;
};
// The undecoded source text between a string's quotes.
struct StringValue {
  ValueText text;
  friend bool operator==(const StringValue&, const StringValue&) = default;
};
// The literal part of an f-string or t-string, doubled braces reduced.
struct InterpolatedStringMiddleValue {
  ValueText text;
  friend bool operator==(const InterpolatedStringMiddleValue&,
                         const InterpolatedStringMiddleValue&) = default;
};
// An integer literal. Int views the text of a Big value; here that text is
// a slice of the source, or (a decimal literal with underscores, whose
// digits are copied without them) text of the value's own, so the value can
// be moved and kept while the source lives.
class IntValue {
 public:
  explicit IntValue(std::uint64_t small) : small_(small) {}
  explicit IntValue(ValueText big_text)
      : big_text_(std::move(big_text)), is_big_(true) {}
  Int value() const {
    return is_big_ ? Int::big(big_text_.view()) : Int::small(small_);
  }
  friend bool operator==(const IntValue& a, const IntValue& b) {
    return a.value() == b.value();
  }

 private:
  std::uint64_t small_ = 0;
  ValueText big_text_;
  bool is_big_ = false;
};

// An imaginary literal; the lexer always sets `real` to 0.
struct ComplexValue {
  double real = 0;
  double imag = 0;
  friend bool operator==(const ComplexValue&, const ComplexValue&) = default;
};
struct IpyEscapeCommandValue {
  std::string value;
  IpyEscapeKind kind;
  friend bool operator==(const IpyEscapeCommandValue&,
                         const IpyEscapeCommandValue&) = default;
};

// The value of the lexer's current token. std::monostate stands for None
// (operators, keywords, newlines, indentation, comments, errors).
using TokenValue =
    std::variant<std::monostate, NameValue, IntValue, double, ComplexValue,
                 StringValue, InterpolatedStringMiddleValue,
                 IpyEscapeCommandValue>;

}  // namespace divu
