#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trelk {

// Snake case of a class-style name: "getXMLNodeName" gives
// "get_xml_node_name". Underscores go before each capitalised word that
// follows some character other than a line feed, a doubled underscore before a
// capital becomes one, underscores go between an ASCII lower-case letter or
// digit and a following ASCII capital, and then the whole text is lowered by
// the full Unicode mapping (final sigma included). Only ASCII letters count as
// capitals or lower-case letters for the underscores.
// Safe to call from any number of threads. An exhausted heap, ICU's
// included, throws std::bad_alloc: the result is the whole text or nothing.
// A name of 2^30 bytes or more that holds a capital or a non-ASCII character
// is too long for ICU's strings and throws std::bad_alloc too.
// REQUIRES: `name` is valid UTF-8.
[[nodiscard]] std::string to_snake_case(std::string_view name);

// Joins the non-empty "::"-separated pieces of `namespace_text` (each put in
// snake case) and then `name` unchanged, if present and not empty, with "::".
// An absent namespace counts as the empty text; no pieces give "". Throws
// std::bad_alloc as to_snake_case does.
// REQUIRES: both texts are valid UTF-8.
[[nodiscard]] std::string build_namespaced_name(
    std::optional<std::string_view> namespace_text,
    std::optional<std::string_view> name);

}  // namespace trelk
