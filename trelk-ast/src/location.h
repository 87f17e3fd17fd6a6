#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "line_index.h"
#include "text_size.h"

namespace trelk {

// A place in a text as the Language Server Protocol gives it: a 0-based line
// and a 0-based count of Unicode scalar values within the line.
struct Position {
  std::uint32_t line = 0;
  std::uint32_t character = 0;

  friend bool operator==(const Position&, const Position&) = default;
};

// From `start` up to, not including, `end`.
struct Range {
  Position start;
  Position end;

  friend bool operator==(const Range&, const Range&) = default;
};

// A "file://" URI. Its text is immutable and shared by every location of one
// file, so copying a location costs no allocation.
class Uri {
 public:
  explicit Uri(std::string text)
      : text_(std::make_shared<const std::string>(std::move(text))) {}

  const std::string& as_str() const { return *text_; }

  friend bool operator==(const Uri& a, const Uri& b) {
    return a.as_str() == b.as_str();
  }

 private:
  std::shared_ptr<const std::string> text_;
};

struct Location {
  Uri uri;
  Range range;

  friend bool operator==(const Location&, const Location&) = default;
};

// The URI of the file at `path`: "file://", then the path made absolute,
// with every "\" written as "/", a leading "/" added when missing, and every
// byte that a URI path may not hold unescaped (RFC 3986: all but letters,
// digits, "-._~!$&'()*+,;=:@" and "/") percent-encoded, "%" itself included.
// An absolute path is taken as it is (nothing resolved, no file-system
// access); a relative one is canonicalised against the working directory
// with its symbolic links resolved, and gives nothing when that fails (a
// missing file, an empty path, a NUL byte). Bytes that are not UTF-8 are
// first replaced by U+FFFD.
[[nodiscard]] std::optional<Uri> file_uri(std::string_view path);

// The location of `range` in the file at `path`, or nothing when `path` gives
// no URI. Resolves the path on every call: an extraction resolves it once
// with file_uri and builds its locations from the result.
[[nodiscard]] std::optional<Location> file_location_for_range(
    std::string_view path, const Range& range);

// The range of the bytes `range` of `text`, in lines and characters.
// REQUIRES: `index` was built from `text`, and both ends of `range` lie
// within `text` on character boundaries; otherwise a broken invariant.
[[nodiscard]] Range to_range(divu::TextRange range, std::string_view text,
                             const divu::LineIndex& index);

// What every location of one file is built from: its text, the text's line
// index and the file's URI. The text must outlive the context.
class LocationContext {
 public:
  LocationContext(std::string_view text, divu::LineIndex index, Uri uri)
      : text_(text), index_(std::move(index)), uri_(std::move(uri)) {}

  std::string_view text() const { return text_; }
  const divu::LineIndex& index() const { return index_; }

  // The location of the bytes `range`. REQUIRES: as for to_range.
  Location location(divu::TextRange range) const {
    return Location{.uri = uri_, .range = to_range(range, text_, index_)};
  }
  // The same for a node's range.
  template <class Node>
  Location location_of(const Node& node) const {
    return location(node.range);
  }

 private:
  std::string_view text_;
  divu::LineIndex index_;
  Uri uri_;
};

}  // namespace trelk
