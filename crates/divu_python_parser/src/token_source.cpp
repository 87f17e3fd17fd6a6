#include <algorithm>
#include <optional>
#include <utility>

#include "invariant.h"
#include "parse_module.h"
#include "parser.h"

namespace divu {

namespace {

// Room for the tokens of a text of `source_size` bytes. Real code has about
// one token per six bytes (the standard library: 5.8). A list on the heap
// would be copied to grow, which holds both copies at once, so it gets room
// for one per five, enough for nearly every file; a mapped list grows in
// place, so it starts from one per seven and grows at the text's own
// density.
std::size_t initial_capacity(std::size_t source_size) {
  const std::size_t generous = source_size / 5 + 16;
  if (generous * sizeof(Token) < TokenList::kMapBytes) {
    return generous;
  }
  return std::max(source_size / 7, TokenList::kMapBytes / sizeof(Token));
}

}  // namespace

TokenSource::TokenSource(std::string_view source, Mode mode,
                         TextSize start_offset)
    : lexer_(source, mode, start_offset), source_size_(source.size()) {
  tokens_.reserve(initial_capacity(source.size()));
  lexer_.next_token();
  skip_trivia();
}

void TokenSource::grow() {
  // A text denser than the estimate. Make room for the rest of the text at
  // the density seen so far and a tenth more, but for no more than one
  // token per byte still to come; and for at least a quarter of the list,
  // so that it grows only a few times even when the text grows denser as it
  // goes.
  const std::size_t lexed = lexer_.current_range().start();
  const std::size_t rest = source_size_ - lexed;
  const std::size_t size = tokens_.size();
  const double density =
      lexed == 0 ? 1.0 : static_cast<double>(size) / static_cast<double>(lexed);
  const auto expected = static_cast<std::size_t>(std::min(
      static_cast<double>(rest), static_cast<double>(rest) * density * 1.1));
  tokens_.reserve(size + std::max(expected, size / 4) + 64);
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
  tokens_.truncate(*non_logical_line);
  skip_trivia();
}

void TokenSource::rewind(LexerCheckpoint checkpoint, std::size_t size) {
  lexer_.rewind(std::move(checkpoint));
  if (size < tokens_.size()) {
    tokens_.truncate(size);
  }
}

std::pair<TokenList, std::vector<LexicalError>> TokenSource::finish() && {
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
