#include "text_lines.h"

namespace trelk {

std::vector<std::string_view> text_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    if (newline != std::string_view::npos && line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    if (newline == std::string_view::npos) {
      break;
    }
    text.remove_prefix(newline + 1);
  }
  return lines;
}

std::string join(std::span<const std::string_view> pieces,
                 std::string_view separator) {
  std::string joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) {
      joined.append(separator);
    }
    joined.append(pieces[i]);
  }
  return joined;
}

}  // namespace trelk
