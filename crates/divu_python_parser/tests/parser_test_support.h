#pragma once

// What the grammar's table tests share: the texts of a parse's errors, the
// table of sources with the errors they must give, and the version gate
// records they expect.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "parse_module.h"
#include "parser.h"
#include "unsupported_syntax.h"

namespace divu::test_support {

// Each error as its display text, "... at byte range a..b".
inline std::vector<std::string> error_texts(
    const std::vector<ParseError>& errors) {
  std::vector<std::string> texts;
  for (const ParseError& error : errors) {
    texts.push_back(error.to_string());
  }
  return texts;
}

// The errors of `source` parsed as a module.
inline std::vector<std::string> error_texts(std::string_view source) {
  return error_texts(parse_module_with_errors(source).errors());
}

struct MessageCase {
  std::string_view source;
  std::vector<std::string> errors;
};

// Parses each source as a module and compares all its errors.
inline void check_messages(const std::vector<MessageCase>& cases) {
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(error_texts(c.source), c.errors);
  }
}

// The newest target version the expression tests parse for.
inline constexpr PythonVersion kLatest{3, 14};

// The errors of `source` parsed as one expression (expression mode) for
// `target`, lexical and parse errors merged.
inline std::vector<std::string> expression_error_texts(
    std::string_view source, PythonVersion target = kLatest) {
  Parser parser(
      source, ParseOptions{.mode = Mode::Expression, .target_version = target});
  parser.parse_expression_body();
  auto [tokens, errors] = std::move(parser).finish();
  return error_texts(errors);
}

// Parses each source as an expression for `target` and compares all its
// errors.
inline void check_expression_messages(const std::vector<MessageCase>& cases,
                                      PythonVersion target = kLatest) {
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(expression_error_texts(c.source, target), c.errors);
  }
}

struct GateCase {
  std::string_view source;
  PythonVersion target;
  std::vector<UnsupportedSyntaxError> gates;
};

// The record a parse for `target` makes of `kind` at `range`.
inline UnsupportedSyntaxError gate(UnsupportedSyntaxKind kind, TextRange range,
                                   PythonVersion target,
                                   std::uint8_t variant = 0) {
  return UnsupportedSyntaxError{
      .kind = {.kind = kind, .variant = variant, .description = {}},
      .range = range,
      .target_version = target};
}

}  // namespace divu::test_support
