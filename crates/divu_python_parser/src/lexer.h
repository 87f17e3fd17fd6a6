#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "cursor.h"
#include "interpolated_string.h"
#include "parse_error.h"
#include "small_stack.h"
#include "text_size.h"
#include "token.h"
#include "token_value.h"

namespace divu {

// What the text being lexed is. Module and Expression lex alike.
// ParenthesizedExpression starts inside one level of brackets; Ipython
// enables the IPython escape commands and the `?` token.
enum class Mode : std::uint8_t {
  Module = 0,
  Expression = 1,
  ParenthesizedExpression = 2,
  Ipython = 3,
};

enum class LexerState : std::uint8_t {
  // At the start of the text or right after a Newline: the next call
  // measures the indentation of a new logical line.
  AfterNewline = 0,
  // The line's indentation is measured and it holds a token, none of which
  // has been produced yet.
  NonEmptyLogicalLine = 1,
  // The last token was Equal.
  AfterEqual = 2,
  // Inside a logical line.
  Other = 3,
};

// The indentation of one logical line. Tabs advance `column` to the next
// multiple of 2; `character` counts spaces and tabs alike. Two levels
// compare only when both measures order them the same way.
struct IndentLevel {
  std::uint32_t column = 0;
  std::uint32_t character = 0;
  friend bool operator==(IndentLevel, IndentLevel) = default;
};

// The indentation levels of the open blocks, innermost last. The root
// level (0, 0) is implied and never stored.
class Indentations {
 public:
  IndentLevel current() const {
    return stack_.empty() ? IndentLevel{} : stack_.back();
  }
  bool empty() const { return stack_.empty(); }
  void push(IndentLevel level) { stack_.push_back(level); }
  void pop() {
    if (!stack_.empty()) {
      stack_.pop_back();
    }
  }
  friend bool operator==(const Indentations&, const Indentations&) = default;

 private:
  // Eight levels in place: deeper blocks are rare.
  SmallStack<IndentLevel, 8> stack_;
};

// Everything needed to put the lexer back at an earlier token.
struct LexerCheckpoint {
  TokenValue value;
  TokenKind current_kind;
  TextRange current_range;
  TokenFlags current_flags;
  TextSize cursor_offset;
  LexerState state;
  std::uint32_t nesting;
  Indentations indentations;
  std::optional<IndentLevel> pending_indentation;
  SmallStack<InterpolationContext, 2> interpolated_strings;
  std::size_t errors_position;
};

// Turns Python source text into tokens one at a time, on demand. It never
// stops at an error: the error is recorded, the token is Unknown (or, for an
// unclosed string, the string token itself) and lexing goes on, so the
// stream always ends in EndOfFile. The lexer does not own the source text,
// which must outlive it and every borrowed token value.
class Lexer {
 public:
  // Errors past this many are not kept. Only the first error of a text is
  // ever shown, and a text full of errors (a file of unclosed strings) must
  // not hold a record per byte; a checkpoint's count stays valid, since the
  // list only ever grows at its end or is cut back.
  static constexpr std::size_t kMaxErrors = 1000;

  // REQUIRES: start_offset lies on a character boundary. A text of 4 GiB or
  // more is a broken invariant. At offset 0 a byte-order mark is skipped;
  // offsets still count its bytes.
  Lexer(std::string_view source, Mode mode, TextSize start_offset = 0);

  // Lexes the next token and returns its kind.
  TokenKind next_token();

  TokenKind current_kind() const { return current_kind_; }
  TextRange current_range() const { return current_range_; }
  TokenFlags current_flags() const { return current_flags_; }
  // None for an ASCII name, whose value is its source slice: take_value
  // gives it all the same. A non-ASCII name holds its normalised text.
  const TokenValue& current_value() const { return current_value_; }
  // Moves the current value out, leaving None behind.
  TokenValue take_value();

  // The lexer's whole state, for the parser's look-ahead; copies the stacks.
  LexerCheckpoint checkpoint() const;
  // Puts the lexer back exactly as it was at `checkpoint`; errors recorded
  // since are dropped.
  void rewind(LexerCheckpoint checkpoint);

  // Makes a newline inside an abandoned bracket count as logical: closes one
  // level of nesting and, given the offset of a non-logical newline, lexes
  // again from there. Returns whether it lexed again.
  bool re_lex_logical_token(std::optional<TextSize> non_logical_newline_start);
  // After the `!` of a conversion: turns an unclosed raw string `r'...`
  // back into the name `r`, so that lexing resumes at the quote.
  void re_lex_raw_string_in_format_spec();
  // Inside a replacement field: turns an unclosed plain string whose quote
  // matches the enclosing f-string or t-string (and is followed only by
  // blanks to the end of the line) into that string's end token.
  void re_lex_string_token_in_interpolation_element(
      InterpolatedStringKind kind);

  // Records an error, makes its range the current range; returns Unknown.
  TokenKind push_error(LexicalError error);
  // The range from the current token's start to the cursor.
  TextRange token_range() const { return cursor_.token_range(); }
  const std::vector<LexicalError>& errors() const { return errors_; }
  // Hands over the errors recorded, in order.
  std::vector<LexicalError> finish() && { return std::move(errors_); }

 private:
  TokenKind lex_token();
  // Inside an f-string's literal part, or with dedents pending: the token
  // those states give, if any.
  std::optional<TokenKind> lex_in_rare_state();
  std::optional<TokenKind> eat_indentation();
  std::optional<TokenKind> skip_whitespace();
  // At a backslash: consumes it and the line break it continues; an error
  // token when no line break follows it or the text ends after it.
  std::optional<TokenKind> eat_line_continuation();
  // The spaces from the cursor on.
  TextSize count_spaces() const;
  std::optional<TokenKind> handle_pending_indentation(IndentLevel pending);
  TokenKind lex_end_of_text();
  TokenKind dispatch(unsigned char c);
  TokenKind lex_non_ascii(char32_t c);
  // The first character is consumed: an ASCII letter or "_" (which may be a
  // string prefix), or, when `ascii_first` is empty, a non-ASCII XID_Start.
  TokenKind lex_identifier(std::optional<unsigned char> ascii_first);
  std::optional<TokenKind> try_string_prefix(unsigned char first);
  TokenKind lex_string(char quote);
  TokenKind lex_interpolated_string_start(char quote);
  std::optional<TokenKind> lex_interpolated_string_middle_or_end();
  TokenKind lex_comment();
  TokenKind lex_newline();
  TokenKind lex_number_radix(unsigned radix);
  TokenKind lex_decimal_number(unsigned char first);
  TokenKind lex_colon();
  TokenKind lex_rbrace();
  TokenKind lex_ipython_escape_command(IpyEscapeKind kind);
  // In Ipython mode: the escape command that `c` starts here, if any.
  std::optional<IpyEscapeKind> ipython_escape(unsigned char c);

  // Records an error without changing the current token's kind.
  void record_error(LexicalErrorType error, TextRange range);
  TokenKind push_error(LexicalErrorType error, TextRange range) {
    return push_error(LexicalError{std::move(error), range});
  }
  TokenKind unrecognized(char32_t c);

  std::string_view source_;
  Mode mode_;
  Cursor cursor_;
  TokenKind current_kind_ = TokenKind::EndOfFile;
  TextRange current_range_;
  TokenValue current_value_;
  TokenFlags current_flags_;
  LexerState state_ = LexerState::AfterNewline;
  std::uint32_t nesting_ = 0;
  Indentations indentations_;
  std::optional<IndentLevel> pending_indentation_;
  SmallStack<InterpolationContext, 2> interpolated_strings_;
  std::vector<LexicalError> errors_;
};

}  // namespace divu
