#include <algorithm>
#include <optional>
#include <utility>

#include "invariant.h"
#include "parser.h"

namespace divu {

TokenSource::TokenSource(std::string_view source, Mode mode,
                         TextSize start_offset)
    : lexer_(source, mode, start_offset), source_size_(source.size()) {
  // Real code has about one token per six bytes, so this is enough for
  // nearly every file and the list never moves.
  tokens_.reserve(source.size() / 5 + 16);
  lexer_.next_token();
  skip_trivia();
}

void TokenSource::grow() {
  // A text denser than the estimate: make room once for at most one
  // token per byte still to come, instead of doubling, so that the list
  // and its copy together stay near the text's size in tokens.
  const std::size_t rest = source_size_ - lexer_.current_range().start();
  tokens_.reserve(std::max(tokens_.size() + rest + 64,
                           tokens_.capacity() + tokens_.capacity() / 4));
}

void TokenSource::skip_trivia() {
  while (is_trivia(lexer_.current_kind())) {
    push_current(lexer_.current_kind());
    lexer_.next_token();
  }
}

TokenKind TokenSource::peek() {
  LexerCheckpoint checkpoint = lexer_.checkpoint();
  TokenKind next = lexer_.next_token();
  while (is_trivia(next)) {
    next = lexer_.next_token();
  }
  lexer_.rewind(std::move(checkpoint));
  return next;
}

std::pair<TokenKind, TokenKind> TokenSource::peek2() {
  LexerCheckpoint checkpoint = lexer_.checkpoint();
  TokenKind first = lexer_.next_token();
  while (is_trivia(first)) {
    first = lexer_.next_token();
  }
  TokenKind second = lexer_.next_token();
  while (is_trivia(second)) {
    second = lexer_.next_token();
  }
  lexer_.rewind(std::move(checkpoint));
  return {first, second};
}

void TokenSource::re_lex_logical_token() {
  // The index of the earliest non-logical newline of the trivia run at the
  // end of the list: the line end that the abandoned bracket kept from being
  // logical.
  std::optional<std::size_t> non_logical_line;
  for (std::size_t index = tokens_.size(); index > 0; --index) {
    const Token& token = tokens_[index - 1];
    if (token.kind == TokenKind::Comment) {
      continue;
    }
    if (token.kind != TokenKind::NonLogicalNewline) {
      break;
    }
    non_logical_line = index - 1;
  }
  std::optional<TextSize> newline_start;
  if (non_logical_line) {
    newline_start = tokens_[*non_logical_line].range.start();
  }
  if (!lexer_.re_lex_logical_token(newline_start)) {
    return;
  }
  TRELK_CHECK(non_logical_line.has_value(),
              "`re_lex_logical_token` should only return `true` if "
              "`non_logical_line` is `Some`");
  tokens_.resize(*non_logical_line);
  skip_trivia();
}

void TokenSource::rewind(LexerCheckpoint checkpoint, std::size_t size) {
  lexer_.rewind(std::move(checkpoint));
  if (size < tokens_.size()) {
    tokens_.resize(size);
  }
}

std::pair<std::vector<Token>, std::vector<LexicalError>>
TokenSource::finish() && {
  TRELK_CHECK(lexer_.current_kind() == TokenKind::EndOfFile,
              "TokenSource was not fully consumed");
  if (!tokens_.empty()) {
    TRELK_CHECK(tokens_.back().kind == TokenKind::EndOfFile,
                "the last token of the list is not the consumed EndOfFile");
    tokens_.pop_back();
  }
  std::vector<LexicalError> errors = std::move(lexer_).finish();
  return {std::move(tokens_), std::move(errors)};
}

}  // namespace divu
