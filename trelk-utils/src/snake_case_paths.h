#pragma once

#include <string>
#include <string_view>

// The two ways to_snake_case (namespace_name.h) converts a name, declared so
// that tests can hold one against the other on the same names. Everything
// else calls to_snake_case, which chooses between them.
namespace trelk::snake_case_paths {

// The three replacements by ICU's regular expressions over UTF-16, then
// ICU's full lower-case mapping: right for any text, ASCII included. Throws
// std::bad_alloc as to_snake_case does.
// REQUIRES: `name` is valid UTF-8.
[[nodiscard]] std::string icu(std::string_view name);

// The same result by two scans over the bytes, and then, for text that is
// not all ASCII, ICU's full lower-case mapping of its UTF-8. Throws
// std::bad_alloc only when a heap is exhausted.
// REQUIRES: `name` is valid UTF-8 of less than 2^29 bytes when it is not
// all ASCII.
[[nodiscard]] std::string scans(std::string_view name);

}  // namespace trelk::snake_case_paths
