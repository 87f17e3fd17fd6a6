// line_column_check: prints the line and column of byte offsets in files, as
// the line index computes them, for comparison with other tools.
//
// Reads requests from standard input, one per line: a path, a tab, and byte
// offsets separated by spaces. For each request it writes one line: for each
// offset "line:column" (1-based, column in characters, a leading byte-order
// mark not counted), separated by spaces. A file that cannot be read gives
// the line "error: cannot read PATH".

#include <charconv>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "invariant.h"
#include "line_index.h"

namespace {

bool read_file(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  text.assign(std::istreambuf_iterator<char>(in),
              std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  std::string request;
  std::string text;
  std::string out;
  while (std::getline(std::cin, request)) {
    const std::size_t tab = request.find('\t');
    const std::string path = request.substr(0, tab);
    if (!read_file(path, text)) {
      std::cout << "error: cannot read " << path << '\n';
      continue;
    }
    const divu::LineIndex index = divu::LineIndex::from_source_text(text);
    out.clear();
    std::string_view offsets = tab == std::string::npos
                                   ? std::string_view()
                                   : std::string_view(request).substr(tab + 1);
    while (!offsets.empty()) {
      divu::TextSize offset = 0;
      const auto [end, error] = std::from_chars(
          offsets.data(), offsets.data() + offsets.size(), offset);
      if (error != std::errc()) {
        std::cerr << "bad offset in request for " << path << '\n';
        return 2;
      }
      divu::SourceLocation location;
      try {
        location = index.line_column(offset, text);
      } catch (const trelk::InvariantFailure& failure) {
        std::cerr << path << ": " << failure.message() << '\n';
        return 2;
      }
      if (!out.empty()) {
        out += ' ';
      }
      out += std::to_string(location.line);
      out += ':';
      out += std::to_string(location.column);
      offsets.remove_prefix(static_cast<std::size_t>(end - offsets.data()));
      while (!offsets.empty() && offsets.front() == ' ') {
        offsets.remove_prefix(1);
      }
    }
    std::cout << out << '\n';
  }
  return 0;
}
