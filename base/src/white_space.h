#pragma once

#include <string_view>
#include <vector>

namespace trelk {

// `text` without the characters of Unicode's White_Space property at either
// end. A view into `text`. REQUIRES: `text` is valid UTF-8.
[[nodiscard]] std::string_view trim_white_space(std::string_view text);

// The non-empty pieces of `text` between runs of White_Space characters, in
// order: views into `text`. REQUIRES: `text` is valid UTF-8.
[[nodiscard]] std::vector<std::string_view> split_white_space(
    std::string_view text);

}  // namespace trelk
