#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace divu {

// The kind of an IPython escape command, named after its escape text.
enum class IpyEscapeKind : std::uint8_t {
  Shell = 0,         // !
  ShellCapture = 1,  // !!
  Help = 2,          // ?
  Help2 = 3,         // ??
  Magic = 4,         // %
  Magic2 = 5,        // %%
  Quote = 6,         // ,
  Quote2 = 7,        // ;
  Paren = 8,         // /
};

// The escape text of `kind` ("!", "??", "/").
std::string_view escape_text(IpyEscapeKind kind);

// The kind escaped by one character, or "Unexpected magic escape: {c}".
[[nodiscard]] std::expected<IpyEscapeKind, std::string>
ipy_escape_kind_from_char(char32_t c);

// The kind escaped by two characters: only "!!", "??" and "%%" are kinds;
// any other pair fails with "Unexpected magic escape: {first}{second}".
[[nodiscard]] std::expected<IpyEscapeKind, std::string>
ipy_escape_kind_from_chars(char32_t first, char32_t second);

}  // namespace divu
