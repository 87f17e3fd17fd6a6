#pragma once

#include <cstdint>
#include <string_view>

#include "text_size.h"

namespace divu {

// The lexer's read position in a source text, and the start of the token
// being read. Offsets are absolute byte offsets into the whole text, also
// when lexing began later or skipped a byte-order mark. The text is read as
// bytes; characters are decoded only where a non-ASCII byte is met.
// The cursor does not own the text, which must outlive it.
class Cursor {
 public:
  Cursor(std::string_view text, TextSize offset)
      : offset_(offset), text_(text), token_start_(offset) {}

  // True when every character has been consumed.
  bool is_eof() const { return offset_ >= text_.size(); }
  TextSize offset() const { return offset_; }
  // REQUIRES: offset <= text size and lies on a character boundary.
  void set_offset(TextSize offset) { offset_ = offset; }

  // The next byte, or 0 at the end of the text. A real NUL byte is told
  // apart from the end by is_eof().
  unsigned char first_byte() const { return byte_at(0); }
  // The byte `ahead` bytes after the cursor, or 0 beyond the end.
  unsigned char byte_at(std::size_t ahead) const {
    std::size_t index = std::size_t{offset_} + ahead;
    return index < text_.size() ? static_cast<unsigned char>(text_[index]) : 0;
  }
  // The next character decoded from UTF-8, or U+0000 at the end. A byte
  // that starts no valid sequence reads as U+FFFD of length 1.
  char32_t first() const {
    unsigned length;
    return decode(&length);
  }
  // Consumes the next character and returns it; U+0000 at the end.
  char32_t bump() {
    if (is_eof()) {
      return 0;
    }
    unsigned length;
    char32_t c = decode(&length);
    offset_ += length;
    return c;
  }
  // Consumes one byte. REQUIRES: !is_eof() and the byte is ASCII (or the
  // caller steps over a whole character byte by byte).
  void bump_byte() { ++offset_; }
  void skip_bytes(TextSize count) { offset_ += count; }
  // Moves to the end of the text.
  void skip_to_end() { offset_ = static_cast<TextSize>(text_.size()); }

  bool eat_byte(char c) {
    if (!is_eof() && text_[offset_] == c) {
      ++offset_;
      return true;
    }
    return false;
  }
  bool eat_bytes2(char a, char b) {
    if (byte_at(0) == static_cast<unsigned char>(a) &&
        byte_at(1) == static_cast<unsigned char>(b) &&
        std::size_t{offset_} + 2 <= text_.size()) {
      offset_ += 2;
      return true;
    }
    return false;
  }

  void start_token() { token_start_ = offset_; }
  TextSize token_start() const { return token_start_; }
  TextSize token_length() const { return offset_ - token_start_; }
  TextRange token_range() const { return TextRange(token_start_, offset_); }

  std::string_view text() const { return text_; }
  // The bytes from the cursor to the end of the text.
  std::string_view rest() const { return text_.substr(offset_); }

 private:
  char32_t decode(unsigned* length) const;

  // offset_ and token_start_ are kept apart on purpose: side by side, the
  // compiler reads both with one 8-byte load right after a 4-byte store to
  // offset_, and that load stalls on every token.
  TextSize offset_;
  std::string_view text_;
  TextSize token_start_;
};

inline char32_t Cursor::decode(unsigned* length) const {
  *length = 1;
  if (is_eof()) {
    return 0;
  }
  const auto* p =
      reinterpret_cast<const unsigned char*>(text_.data()) + offset_;
  std::size_t left = text_.size() - offset_;
  unsigned char b0 = p[0];
  if (b0 < 0x80) {
    return b0;
  }
  unsigned need;
  char32_t c;
  if ((b0 & 0xE0) == 0xC0) {
    need = 2;
    c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    need = 3;
    c = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    need = 4;
    c = b0 & 0x07;
  } else {
    return 0xFFFD;
  }
  if (left < need) {
    return 0xFFFD;
  }
  for (unsigned i = 1; i < need; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      return 0xFFFD;
    }
    c = (c << 6) | (p[i] & 0x3F);
  }
  *length = need;
  return c;
}

}  // namespace divu
