#pragma once

#include <string>
#include <string_view>

namespace trelk {

// Appends `text` to `out` as a quoted literal, the form in which error
// messages show an input: enclosed in double quotes; a backslash and a double
// quote each preceded by a backslash; tab, line feed, carriage return and NUL
// written as \t, \n, \r and \0; every other control character, every
// character that is not printable (separators other than the space, format
// characters, surrogates, private-use and unassigned code points, as of
// Unicode 15.1) and every combining (grapheme-extending) character written as
// \u{...} with its code point in lower-case hexadecimal; every other character
// unchanged. A single quote is not escaped. A byte that is not part of valid
// UTF-8 is written as \x followed by two lower-case hexadecimal digits, so that
// nothing of the input is lost or passed through unescaped.
void append_debug_quoted(std::string& out, std::string_view text);

// Returns `text` as a quoted literal (see append_debug_quoted).
[[nodiscard]] std::string debug_quote(std::string_view text);

}  // namespace trelk
