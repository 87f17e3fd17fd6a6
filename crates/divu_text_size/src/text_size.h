#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace divu {

// A byte offset into UTF-8 source text. Texts are shorter than 4 GiB, so
// every offset and length fits in 32 bits.
using TextSize = std::uint32_t;

// A half-open byte range [start, end) of a source text. A plain value.
class TextRange {
 public:
  constexpr TextRange() = default;
  // REQUIRES: start <= end; otherwise a broken invariant. Inline: every
  // token and node builds ranges, and the check is one compare.
  TextRange(TextSize start, TextSize end) : start_(start), end_(end) {
    if (start > end) [[unlikely]] {
      fail_reversed();
    }
  }
  // An empty range at `offset`.
  static constexpr TextRange empty(TextSize offset) {
    TextRange range;
    range.start_ = offset;
    range.end_ = offset;
    return range;
  }

  constexpr TextSize start() const { return start_; }
  constexpr TextSize end() const { return end_; }
  constexpr TextSize length() const { return end_ - start_; }
  constexpr bool is_empty() const { return start_ == end_; }
  constexpr bool contains(TextSize offset) const {
    return start_ <= offset && offset < end_;
  }
  constexpr bool contains_range(TextRange other) const {
    return start_ <= other.start_ && other.end_ <= end_;
  }
  // The smallest range covering both.
  constexpr TextRange cover(TextRange other) const {
    TextRange range;
    range.start_ = start_ < other.start_ ? start_ : other.start_;
    range.end_ = end_ > other.end_ ? end_ : other.end_;
    return range;
  }

  // The bytes of `text` in this range. REQUIRES: end() <= text.size(); a
  // range beyond the text is a broken invariant.
  std::string_view slice(std::string_view text) const {
    if (end_ > text.size()) [[unlikely]] {
      fail_slice(text.size());
    }
    return text.substr(start_, end_ - start_);
  }

  // "start..end", the debug text used in messages and dumps.
  std::string to_string() const;

  friend constexpr bool operator==(TextRange, TextRange) = default;

 private:
  [[noreturn]] static void fail_reversed();
  [[noreturn, gnu::cold]] void fail_slice(std::size_t text_size) const;

  TextSize start_ = 0;
  TextSize end_ = 0;
};

static_assert(sizeof(TextRange) == 8);

}  // namespace divu
