#include "white_space.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace trelk {

namespace {

bool is_white_space(UChar32 c) { return c >= 0 && u_isUWhiteSpace(c); }

// The longest UTF-8 sequence. Each code point is decoded from a window of at
// most this many bytes, so ICU's 32-bit indices stay small however long the
// text is.
constexpr std::size_t kMaxSequenceBytes = 4;

// The code point at `start` and the offset after it.
UChar32 next_code_point(std::string_view text, std::size_t start,
                        std::size_t& after) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto window = static_cast<std::int32_t>(
      std::min(text.size() - start, kMaxSequenceBytes));
  std::int32_t next = 0;
  UChar32 c;
  U8_NEXT(bytes + start, next, window, c);
  after = start + static_cast<std::size_t>(next);
  return c;
}

}  // namespace

std::string_view trim_white_space(std::string_view text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t after;
    if (!is_white_space(next_code_point(text, start, after))) {
      break;
    }
    start = after;
  }
  std::size_t end = text.size();
  while (end > start) {
    const std::size_t window_start =
        end - std::min(end - start, kMaxSequenceBytes);
    auto previous = static_cast<std::int32_t>(end - window_start);
    UChar32 c;
    U8_PREV(bytes + window_start, 0, previous, c);
    if (!is_white_space(c)) {
      break;
    }
    end = window_start + static_cast<std::size_t>(previous);
  }
  return text.substr(start, end - start);
}

std::vector<std::string_view> split_white_space(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t piece_start = 0;
  std::size_t offset = 0;
  while (offset < text.size()) {
    std::size_t after;
    if (is_white_space(next_code_point(text, offset, after))) {
      if (offset > piece_start) {
        pieces.push_back(text.substr(piece_start, offset - piece_start));
      }
      piece_start = after;
    }
    offset = after;
  }
  if (text.size() > piece_start) {
    pieces.push_back(text.substr(piece_start));
  }
  return pieces;
}

}  // namespace trelk
