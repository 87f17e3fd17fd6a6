#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace divu {

// The kind of an IPython escape command, named after its escape text (see
// ipy_escape_kind.def).
enum class IpyEscapeKind : std::uint8_t {
#define IPY_ESCAPE(Name, escape) Name,
#include "ipy_escape_kind.def"
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

static_assert(static_cast<int>(IpyEscapeKind::Shell) == 0);
static_assert(static_cast<int>(IpyEscapeKind::Help2) == 3);
static_assert(static_cast<int>(IpyEscapeKind::Paren) == 8);

}  // namespace divu
