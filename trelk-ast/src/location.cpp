#include "location.h"

#include <stdlib.h>

#include "path_components.h"
#include "utf8.h"

namespace trelk {

namespace {

// RFC 3986 path characters that stand for themselves: unreserved, sub-delims,
// ":", "@" and the separator "/".
constexpr bool is_unescaped_path_byte(unsigned char byte) {
  if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
      (byte >= '0' && byte <= '9')) {
    return true;
  }
  constexpr std::string_view kOthers = "-._~!$&'()*+,;=:@/";
  return kOthers.find(static_cast<char>(byte)) != std::string_view::npos;
}

// The absolute form of `path`, or nothing when a relative path does not
// resolve.
std::optional<std::string> absolute_path(std::string_view path) {
  if (is_absolute_path(path)) {
    return std::string(path);
  }
  if (path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string c_path(path);
  char* resolved = ::realpath(c_path.c_str(), nullptr);
  if (resolved == nullptr) {
    return std::nullopt;
  }
  std::string result(resolved);
  ::free(resolved);
  return result;
}

}  // namespace

std::optional<Uri> file_uri(std::string_view path) {
  const std::optional<std::string> absolute = absolute_path(path);
  if (!absolute) {
    return std::nullopt;
  }
  const std::string text = to_utf8_lossy(*absolute);
  std::string uri = "file://";
  uri.reserve(uri.size() + text.size() + 1);
  if (text.empty() || (text.front() != '/' && text.front() != '\\')) {
    uri.push_back('/');
  }
  constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c == '\\' ? '/' : c);
    if (is_unescaped_path_byte(byte)) {
      uri.push_back(static_cast<char>(byte));
    } else {
      uri.push_back('%');
      uri.push_back(kHex[byte >> 4]);
      uri.push_back(kHex[byte & 0xF]);
    }
  }
  return Uri(std::move(uri));
}

std::optional<Location> file_location_for_range(std::string_view path,
                                                const Range& range) {
  std::optional<Uri> uri = file_uri(path);
  if (!uri) {
    return std::nullopt;
  }
  return Location{.uri = std::move(*uri), .range = range};
}

Range to_range(divu::TextRange range, std::string_view text,
               const divu::LineIndex& index) {
  const divu::SourceLocation start = index.line_column(range.start(), text);
  divu::SourceLocation end;
  const std::span<const divu::TextSize> line_starts = index.line_starts();
  // Most ranges end on the line they start on: then the end's column is
  // the start's plus the characters between, without a second search. A
  // start inside a leading byte-order mark is left to line_column, which
  // does not count the mark.
  const bool same_line = (start.line >= line_starts.size() ||
                          range.end() < line_starts[start.line]) &&
                         (start.line > 1 || range.start() >= 3 ||
                          !text.starts_with("\xEF\xBB\xBF"));
  if (same_line) {
    end = {
        .line = start.line,
        .column = start.column + divu::LineIndex::characters_between(
                                     index.kind(), range.start(), range.end(),
                                     text, divu::ColumnUnit::Characters)};
  } else {
    end = index.line_column(range.end(), text);
  }
  return Range{.start = {.line = start.line - 1, .character = start.column - 1},
               .end = {.line = end.line - 1, .character = end.column - 1}};
}

}  // namespace trelk
