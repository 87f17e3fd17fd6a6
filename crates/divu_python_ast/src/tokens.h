#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "token.h"
#include "token_list.h"

namespace divu {

// The token list of one parse: every token in source order, comments and
// non-logical newlines included, without the final `EndOfFile`.
class Tokens {
 public:
  Tokens() = default;
  explicit Tokens(TokenList tokens) : tokens_(std::move(tokens)) {}
  explicit Tokens(const std::vector<Token>& tokens) {
    tokens_.reserve(tokens.size());
    for (const Token& token : tokens) {
      tokens_.push_back(token);
    }
  }

  std::span<const Token> all() const { return tokens_; }
  std::size_t size() const { return tokens_.size(); }
  bool empty() const { return tokens_.empty(); }
  const Token& operator[](std::size_t index) const { return tokens_[index]; }
  auto begin() const { return tokens_.begin(); }
  auto end() const { return tokens_.end(); }
  // The list itself, for a caller that reuses its memory.
  TokenList release() && { return std::move(tokens_); }
  // See TokenList::mapped_bytes.
  std::size_t mapped_bytes() const { return tokens_.mapped_bytes(); }

 private:
  TokenList tokens_;
};

}  // namespace divu
