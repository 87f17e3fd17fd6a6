#pragma once

#include <cstddef>
#include <span>
#include <utility>

#include "token.h"

namespace divu {

// A growable list of tokens that does not copy itself to grow once it is
// large. A list starts on the heap; past kMapBytes it lives in a mapping of
// its own, which the kernel extends in place or moves by remapping its
// pages, so that a growing list never holds an old and a new copy at once
// (a vector at its peak holds both: for a large text, more memory than its
// tree). Lists are only ever filled from their end and cut back, as a
// token source does.
//
// A fresh mapping takes 8 MiB of address space, so that a list grows in it
// without a call to the kernel; only the pages it fills are memory. A freed
// mapping of up to 8 MiB is kept by the thread that frees it, for its next
// large list, whose pages then do not fault again; each thread keeps at
// most one, and unmaps it when it ends.
//
// Move-only; a moved-from list is empty and holds no memory.
class TokenList {
 public:
  // 16 KiB: a list of this many bytes or more (for a source of about 7 KB
  // or more) is mapped. Smaller lists cost less on the heap than a mapping
  // of their own.
  static constexpr std::size_t kMapBytes = std::size_t{16} << 10;

  TokenList() = default;
  TokenList(const TokenList&) = delete;
  TokenList& operator=(const TokenList&) = delete;
  TokenList(TokenList&& other) noexcept { swap(other); }
  TokenList& operator=(TokenList&& other) noexcept {
    TokenList(static_cast<TokenList&&>(other)).swap(*this);
    return *this;
  }
  ~TokenList() { free_storage(); }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  Token* data() { return data_; }
  const Token* data() const { return data_; }
  Token& operator[](std::size_t index) { return data_[index]; }
  const Token& operator[](std::size_t index) const { return data_[index]; }
  Token& back() { return data_[size_ - 1]; }
  const Token& back() const { return data_[size_ - 1]; }
  const Token* begin() const { return data_; }
  const Token* end() const { return data_ + size_; }
  operator std::span<const Token>() const { return {data_, size_}; }

  void push_back(const Token& token) {
    if (size_ == capacity_) [[unlikely]] {
      // A caller that knows better (a token source) makes room itself.
      reserve(capacity_ < 64 ? 64 : capacity_ * 2);
    }
    data_[size_++] = token;
  }
  // Makes room for `capacity` tokens in all; never shrinks. Throws
  // std::bad_alloc when the memory cannot be had.
  void reserve(std::size_t capacity);
  // Drops the tokens from `size` on. REQUIRES: size <= size().
  void truncate(std::size_t size) { size_ = size; }
  void pop_back() { --size_; }
  // Drops every token and keeps the memory.
  void clear() { size_ = 0; }

  // The bytes of the list's own mapping, or 0 for a list on the heap (which
  // counts as heap memory).
  std::size_t mapped_bytes() const {
    return mapping_bytes_ != 0 ? capacity_ * sizeof(Token) : 0;
  }

 private:
  void swap(TokenList& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(mapping_bytes_, other.mapping_bytes_);
  }
  void free_storage() noexcept;

  Token* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  // The size of the list's mapping, or 0 for a list on the heap. A list
  // that took its thread's spare mapping may have more than its capacity.
  std::size_t mapping_bytes_ = 0;
};

}  // namespace divu
