#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trelk {

// The lines of `text` as a line reader gives them: split at "\n", with a
// "\r" right before it removed (a lone "\r" stays in its line), and no empty
// line after a final "\n". Views into `text`.
[[nodiscard]] std::vector<std::string_view> text_lines(std::string_view text);

// `pieces` in order with `separator` between each two of them.
[[nodiscard]] std::string join(std::span<const std::string_view> pieces,
                               std::string_view separator);

}  // namespace trelk
