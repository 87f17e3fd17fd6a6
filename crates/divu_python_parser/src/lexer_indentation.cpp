// Indentation: blanks and continuations between tokens, the indentation
// of each logical line with the Indent and Dedent tokens it gives, and what
// is still open at the end of the text.

#include <bit>
#include <compare>
#include <cstdint>
#include <cstring>
#include <optional>

#include "lexer.h"
#include "lexer_support.h"

namespace divu {

using namespace lexer_detail;

namespace {

// Compares two indentation levels by column and by character count; empty
// when the two orderings disagree.
std::optional<std::strong_ordering> compare_levels(IndentLevel a,
                                                   IndentLevel b) {
  std::strong_ordering by_column = a.column <=> b.column;
  std::strong_ordering by_character = a.character <=> b.character;
  if (by_column != by_character) {
    return std::nullopt;
  }
  return by_column;
}

}  // namespace

TextSize Lexer::count_spaces() const {
  // Indentation is mostly spaces: eight bytes are compared at once, and the
  // first that is not a space is found from the lowest differing bit.
  static_assert(std::endian::native == std::endian::little);
  constexpr std::uint64_t kEightSpaces = 0x2020202020202020ULL;
  const char* const start = source_.data() + cursor_.offset();
  const char* const end = source_.data() + source_.size();
  const char* p = start;
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if (const std::uint64_t other = word ^ kEightSpaces; other != 0) {
      p += std::countr_zero(other) / 8;
      break;
    }
    p += 8;
  }
  while (p < end && *p == ' ') {
    ++p;
  }
  return static_cast<TextSize>(p - start);
}

std::optional<TokenKind> Lexer::eat_line_continuation() {
  cursor_.bump_byte();
  if (!eat_continuation_newline(cursor_)) {
    TextSize end = cursor_.offset();
    return push_error(LexicalErrorType(LexicalErrorKind::LineContinuation),
                      TextRange(end - 1, end));
  }
  if (cursor_.is_eof()) {
    return push_error(LexicalErrorType(LexicalErrorKind::UnexpectedEof),
                      cursor_.token_range());
  }
  return std::nullopt;
}

std::optional<TokenKind> Lexer::skip_whitespace() {
  while (true) {
    unsigned char c = cursor_.first_byte();
    if (c == ' ' || c == '\t' || c == '\f') {
      cursor_.bump_byte();
    } else if (c == '\\') {
      if (std::optional<TokenKind> error = eat_line_continuation()) {
        return error;
      }
    } else {
      return std::nullopt;
    }
  }
}

std::optional<TokenKind> Lexer::eat_indentation() {
  IndentLevel level;
  while (true) {
    unsigned char c = cursor_.first_byte();
    if (c == ' ') {
      const TextSize spaces = count_spaces();
      cursor_.skip_bytes(spaces);
      level.column += spaces;
      level.character += spaces;
    } else if (c == '\t') {
      cursor_.bump_byte();
      level.column = (level.column & ~1u) + 2;
      ++level.character;
    } else if (c == '\f') {
      cursor_.bump_byte();
      level = IndentLevel{};
    } else if (c == '\\') {
      if (std::optional<TokenKind> error = eat_line_continuation()) {
        return error;
      }
      if (level != IndentLevel{}) {
        while (cursor_.first_byte() == ' ' || cursor_.first_byte() == '\t' ||
               cursor_.first_byte() == '\f') {
          cursor_.bump_byte();
        }
      }
    } else {
      break;
    }
  }
  if (cursor_.is_eof()) {
    return std::nullopt;
  }
  unsigned char c = cursor_.first_byte();
  if (c == '\n' || c == '\r' || c == '#' || c == '\0') {
    return std::nullopt;
  }
  state_ = LexerState::NonEmptyLogicalLine;
  IndentLevel current = indentations_.current();
  std::optional<std::strong_ordering> order = compare_levels(level, current);
  if (!order) {
    return push_error(LexicalErrorType(LexicalErrorKind::UnmatchedDedent),
                      cursor_.token_range());
  }
  if (*order == std::strong_ordering::equal) {
    return std::nullopt;
  }
  if (*order == std::strong_ordering::greater) {
    indentations_.push(level);
    return TokenKind::Indent;
  }
  pending_indentation_ = level;
  indentations_.pop();
  IndentLevel outer = indentations_.current();
  if (outer.column >= level.column && compare_levels(outer, level)) {
    cursor_.start_token();
    return TokenKind::Dedent;
  }
  return push_error(LexicalErrorType(LexicalErrorKind::UnmatchedDedent),
                    cursor_.token_range());
}

std::optional<TokenKind> Lexer::handle_pending_indentation(
    IndentLevel pending) {
  IndentLevel current = indentations_.current();
  if (!compare_levels(current, pending)) {
    return push_error(LexicalErrorType(LexicalErrorKind::UnmatchedDedent),
                      cursor_.token_range());
  }
  if (current.column <= pending.column) {
    return std::nullopt;
  }
  pending_indentation_ = pending;
  indentations_.pop();
  IndentLevel outer = indentations_.current();
  if (pending.column <= outer.column && compare_levels(pending, outer)) {
    return TokenKind::Dedent;
  }
  return push_error(LexicalErrorType(LexicalErrorKind::UnmatchedDedent),
                    TextRange::empty(cursor_.offset()));
}

TokenKind Lexer::lex_end_of_text() {
  while (!interpolated_strings_.empty()) {
    InterpolationContext context = interpolated_strings_.back();
    interpolated_strings_.pop_back();
    nesting_ = context.nesting;
    current_range_ = cursor_.token_range();
    record_error(interpolated_string_error(
                     context.is_fstring(),
                     InterpolatedStringErrorType::UnterminatedString),
                 current_range_);
  }
  std::uint32_t tolerated = mode_ == Mode::ParenthesizedExpression ? 1 : 0;
  if (nesting_ > tolerated) {
    nesting_ = 0;
    return push_error(LexicalErrorType(LexicalErrorKind::UnexpectedEof),
                      cursor_.token_range());
  }
  if (state_ == LexerState::AfterEqual || state_ == LexerState::Other) {
    state_ = LexerState::AfterNewline;
    return TokenKind::Newline;
  }
  if (!indentations_.empty()) {
    indentations_.pop();
    return TokenKind::Dedent;
  }
  return TokenKind::EndOfFile;
}

}  // namespace divu
