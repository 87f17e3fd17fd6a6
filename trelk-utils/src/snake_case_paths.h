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

// The same result by two scans over the bytes. Throws std::bad_alloc only
// when the heap is exhausted.
// REQUIRES: every byte of `name` is ASCII.
[[nodiscard]] std::string ascii(std::string_view name);

}  // namespace trelk::snake_case_paths
