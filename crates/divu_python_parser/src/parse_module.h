#pragma once

#include <expected>
#include <string_view>
#include <utility>
#include <vector>

#include "arena.h"
#include "parse_error.h"
#include "syntax_tree.h"
#include "tokens.h"
#include "unsupported_syntax.h"

namespace divu {

// The result of a parse: the tree, every token of the text except the final
// EndOfFile (comments and non-logical newlines included), the errors (lexical
// and parse errors merged by start offset) and the records of syntax newer
// than the target version.
//
// Ownership: the result owns the arena that holds the tree, so the tree lives
// exactly as long as the result (moving the result keeps every node where it
// is). The tree's names and literal texts may view the source text, which
// must outlive the result. Once built, a result is only read, from any
// number of threads.
template <class T>
class Parsed {
 public:
  Parsed(Arena arena, const T* syntax, Tokens tokens,
         std::vector<ParseError> errors,
         std::vector<UnsupportedSyntaxError> unsupported_syntax_errors)
      : arena_(std::move(arena)),
        syntax_(syntax),
        tokens_(std::move(tokens)),
        errors_(std::move(errors)),
        unsupported_syntax_errors_(std::move(unsupported_syntax_errors)) {}

  const T& syntax() const { return *syntax_; }
  const Tokens& tokens() const { return tokens_; }
  // Hands over the token list and leaves the result without one, for a
  // holder that keeps the tree alone.
  Tokens take_tokens() { return std::exchange(tokens_, Tokens()); }
  const std::vector<ParseError>& errors() const { return errors_; }
  const std::vector<UnsupportedSyntaxError>& unsupported_syntax_errors() const {
    return unsupported_syntax_errors_;
  }
  // Bytes the tree's arena took from the system.
  std::size_t arena_bytes() const { return arena_.reserved_bytes(); }

 private:
  Arena arena_;
  const T* syntax_;
  Tokens tokens_;
  std::vector<ParseError> errors_;
  std::vector<UnsupportedSyntaxError> unsupported_syntax_errors_;
};

// Parses a whole module and returns it, or its first syntax error when there
// is any. Never fails otherwise: every problem is a ParseError.
// REQUIRES: `source` is valid UTF-8 and outlives the result.
[[nodiscard]] std::expected<Parsed<ModModule>, ParseError> parse_module(
    std::string_view source);

// Parses the whole of `source` as a module and returns the tree together with
// every error recorded, even when there are errors (for tools and tests that
// look at error recovery).
Parsed<ModModule> parse_module_with_errors(std::string_view source);

// Parses `source` as one expression (an expression list, starred and yield
// expressions allowed), as `eval` reads it. Newlines may follow it; anything
// else after it is an error. The errors are all kept.
// REQUIRES: as for parse_module.
Parsed<ModExpression> parse_expression(std::string_view source);

}  // namespace divu
