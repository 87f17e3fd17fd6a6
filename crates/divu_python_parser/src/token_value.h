#pragma once

#include <memory>
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
    value.owned_ = std::make_unique<std::string>(std::move(text));
    value.view_ = *value.owned_;
    return value;
  }
  ValueText(const ValueText& other) { *this = other; }
  ValueText& operator=(const ValueText& other) {
    if (this != &other) {
      owned_ =
          other.owned_ ? std::make_unique<std::string>(*other.owned_) : nullptr;
      view_ = owned_ ? std::string_view(*owned_) : other.view_;
    }
    return *this;
  }
  // Moving keeps the view valid: the owned text stays where it is.
  ValueText(ValueText&&) noexcept = default;
  ValueText& operator=(ValueText&&) noexcept = default;

  std::string_view view() const { return view_; }
  bool is_owned() const { return owned_ != nullptr; }
  friend bool operator==(const ValueText& a, const ValueText& b) {
    return a.view() == b.view();
  }

 private:
  // A borrowed text costs no allocation; an owned one is kept on the heap
  // so that the value stays small and cheap to move.
  std::string_view view_;
  std::unique_ptr<std::string> owned_;
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
