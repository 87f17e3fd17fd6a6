#include "ipy_escape_kind.h"

#include <initializer_list>
#include <iterator>
#include <utility>

#include "utf8.h"

namespace divu {
namespace {

constexpr std::string_view kEscapes[] = {
#define IPY_ESCAPE(Name, escape) escape,
#include "ipy_escape_kind.def"
};

// The kind whose escape text is `escape`, if any.
std::expected<IpyEscapeKind, std::string> find_escape(
    std::initializer_list<char32_t> escape) {
  for (std::size_t index = 0; index < std::size(kEscapes); ++index) {
    const std::string_view text = kEscapes[index];
    bool same = text.size() == escape.size();
    for (std::size_t k = 0; same && k < text.size(); ++k) {
      same = static_cast<char32_t>(text[k]) == escape.begin()[k];
    }
    if (same) {
      return static_cast<IpyEscapeKind>(index);
    }
  }
  std::string message = "Unexpected magic escape: ";
  for (char32_t c : escape) {
    trelk::append_utf8(message, c);
  }
  return std::unexpected(std::move(message));
}

}  // namespace

std::string_view escape_text(IpyEscapeKind kind) {
  return kEscapes[static_cast<int>(kind)];
}

std::expected<IpyEscapeKind, std::string> ipy_escape_kind_from_char(
    char32_t c) {
  return find_escape({c});
}

std::expected<IpyEscapeKind, std::string> ipy_escape_kind_from_chars(
    char32_t first, char32_t second) {
  // Every two-character escape is a doubled character.
  return find_escape({first, second});
}

}  // namespace divu
