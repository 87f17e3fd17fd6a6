#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Unicode support of the front end, answering as CPython 3.13 does (Unicode
// 15.1). ICU 72 provides the data of Unicode 15.0; a generated table
// (unicode_tables.inc) closes the difference. Every function is thread-safe;
// the lookup structures are built on first use and live for the whole process.

namespace divu {

// True when `c` has the Unicode property XID_Start (so "_" is not).
[[nodiscard]] bool is_xid_start(char32_t c);

// True when `c` has the Unicode property XID_Continue.
[[nodiscard]] bool is_xid_continue(char32_t c);

// The NFKC normalisation of an identifier, as UTF-8. An identifier of 2^31
// bytes or more is too long for ICU and throws std::bad_alloc.
// REQUIRES: `utf8` is valid UTF-8 (it may hold NUL bytes).
[[nodiscard]] std::string nfkc_identifier(std::string_view utf8);

// The character that a named escape \N{name} stands for, or nullopt when
// Python rejects the name. Names and name aliases match case-insensitively
// (ASCII letters only); the algorithmic names "HANGUL SYLLABLE ..." and
// "CJK UNIFIED IDEOGRAPH-XXXX" match only in upper case, as CPython has it.
// Named sequences are not characters and are rejected.
[[nodiscard]] std::optional<char32_t> lookup_character_name(
    std::string_view name);

// One character decoded from UTF-8 and the number of bytes it took.
struct Utf8Char {
  char32_t value;
  std::uint32_t length;
};

// The character that starts at byte `index` of `text`.
// REQUIRES: index < text.size() and the text is valid UTF-8 there; a
// truncated sequence yields the bytes that remain.
[[nodiscard]] Utf8Char decode_utf8(std::string_view text,
                                   std::size_t index) noexcept;

// Writes `c` encoded as UTF-8 to `out` and returns the number of bytes (1 to
// 4). REQUIRES: c is at most U+10FFFF and `out` has room for four bytes.
std::size_t encode_utf8(char32_t c, char* out) noexcept;

// Appends `c` encoded as UTF-8. REQUIRES: c is at most U+10FFFF.
void append_utf8(std::string& out, char32_t c);

}  // namespace divu
