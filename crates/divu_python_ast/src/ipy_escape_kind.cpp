#include "ipy_escape_kind.h"

#include <initializer_list>

#include "utf8.h"

namespace divu {
namespace {

std::string unexpected_escape(std::initializer_list<char32_t> chars) {
  std::string message = "Unexpected magic escape: ";
  for (char32_t c : chars) {
    trelk::append_utf8(message, c);
  }
  return message;
}

}  // namespace

std::string_view escape_text(IpyEscapeKind kind) {
  static constexpr std::string_view kTexts[] = {"!",  "!!", "?", "??", "%",
                                                "%%", ",",  ";", "/"};
  return kTexts[static_cast<int>(kind)];
}

std::expected<IpyEscapeKind, std::string> ipy_escape_kind_from_char(
    char32_t c) {
  switch (c) {
    case U'!':
      return IpyEscapeKind::Shell;
    case U'?':
      return IpyEscapeKind::Help;
    case U'%':
      return IpyEscapeKind::Magic;
    case U',':
      return IpyEscapeKind::Quote;
    case U';':
      return IpyEscapeKind::Quote2;
    case U'/':
      return IpyEscapeKind::Paren;
    default:
      return std::unexpected(unexpected_escape({c}));
  }
}

std::expected<IpyEscapeKind, std::string> ipy_escape_kind_from_chars(
    char32_t first, char32_t second) {
  if (first == second) {
    switch (first) {
      case U'!':
        return IpyEscapeKind::ShellCapture;
      case U'?':
        return IpyEscapeKind::Help2;
      case U'%':
        return IpyEscapeKind::Magic2;
      default:
        break;
    }
  }
  return std::unexpected(unexpected_escape({first, second}));
}

}  // namespace divu
