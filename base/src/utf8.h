#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trelk {

// Returns the length of the longest prefix of `text` that is valid UTF-8, as a
// strict decoder judges it: overlong forms, encoded surrogates (U+D800 to
// U+DFFF), code points above U+10FFFF and truncated sequences are invalid.
// Equals text.size() exactly when the whole text is valid.
[[nodiscard]] std::size_t valid_utf8_prefix(std::string_view text) noexcept;

// True when the whole of `text` is valid UTF-8 (see valid_utf8_prefix).
[[nodiscard]] inline bool is_valid_utf8(std::string_view text) noexcept {
  return valid_utf8_prefix(text) == text.size();
}

// `text` with each maximal ill-formed subsequence (a lead byte with the
// continuation bytes that could still have completed it, or a lone byte)
// replaced by U+FFFD, as a lossy decoder shows bytes that are not UTF-8.
[[nodiscard]] std::string to_utf8_lossy(std::string_view text);

// True when `offset` does not fall inside a multi-byte character of `text`:
// it is at or past the end, or at a byte that is not a continuation byte
// (10xxxxxx). Says nothing of whether the text is valid.
[[nodiscard]] constexpr bool is_char_boundary(std::string_view text,
                                              std::size_t offset) noexcept {
  return offset >= text.size() ||
         (static_cast<unsigned char>(text[offset]) & 0xC0) != 0x80;
}

// Appends the UTF-8 encoding of `c` to `out`. REQUIRES: `c` is a Unicode
// scalar value (at most U+10FFFF, not a surrogate); otherwise a broken
// invariant.
void append_utf8(std::string& out, char32_t c);

}  // namespace trelk
