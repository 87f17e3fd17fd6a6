#include "string_decoding.h"

#include <cstring>
#include <optional>

#include "unicode.h"

namespace divu {
namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

// Nonzero exactly when some byte of `word` is zero.
constexpr std::uint64_t has_zero_byte(std::uint64_t word) {
  return (word - kOnes) & ~word & kHighs;
}

// The index of the first byte at or after `from` that equals one of `a`, `b`
// or `c` (`c` may repeat `a`), or npos. Looks at eight bytes at a time.
std::size_t find_any(std::string_view text, std::size_t from, char a, char b,
                     char c) {
  const std::uint64_t wa = kOnes * static_cast<unsigned char>(a);
  const std::uint64_t wb = kOnes * static_cast<unsigned char>(b);
  const std::uint64_t wc = kOnes * static_cast<unsigned char>(c);
  std::size_t i = from;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if (has_zero_byte(word ^ wa) | has_zero_byte(word ^ wb) |
        has_zero_byte(word ^ wc)) {
      break;
    }
  }
  for (; i < text.size(); ++i) {
    if (text[i] == a || text[i] == b || text[i] == c) {
      return i;
    }
  }
  return std::string_view::npos;
}

std::size_t find_backslash(std::string_view text, std::size_t from) {
  if (from >= text.size()) {
    return std::string_view::npos;
  }
  const void* hit = std::memchr(text.data() + from, '\\', text.size() - from);
  return hit == nullptr ? std::string_view::npos
                        : static_cast<std::size_t>(
                              static_cast<const char*>(hit) - text.data());
}

// The index of the first byte above 0x7F, or npos.
std::size_t find_non_ascii(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if (word & kHighs) {
      break;
    }
  }
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) {
      return i;
    }
  }
  return std::string_view::npos;
}

bool is_hex_digit(char32_t c) {
  return ('0' <= c && c <= '9') || ('a' <= c && c <= 'f') ||
         ('A' <= c && c <= 'F');
}

char32_t hex_value(char32_t c) {
  if (c <= '9') {
    return c - '0';
  }
  return (c | 0x20) - 'a' + 10;
}

// The number of braces in the name of a middle's named escape that stood for
// two in the source. The lexer pairs backslashes as the decoder does: a "{"
// is doubled unless it opens a further named escape ("\N{" after an
// unpaired backslash), and the name ends at the first "}".
TextSize doubled_braces_in_name(std::string_view name) {
  TextSize count = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '{') {
      ++count;
    } else if (name[i] == '\\' && i + 1 < name.size() && name[i + 1] != '{') {
      i += name.substr(i + 1, 2) == "N{" ? 2u : 1u;
    }
  }
  return count;
}

// The decoder of one literal text. Every error location is `offset_` plus a
// byte index into the text; in an interpolated string's middle each brace of
// the text stands for two in the source, so `offset_` grows by one for every
// brace passed, wherever it is met.
class StringParser {
 public:
  enum class Mode : std::uint8_t { Str, Bytes, Middle };

  // The result of one escape.
  struct Escape {
    enum class Kind : std::uint8_t {
      Char,          // store `value`
      Kept,          // not an escape: store the backslash and what follows
      Continuation,  // a line continuation: store nothing
    };
    Kind kind;
    char32_t value = 0;
  };

  // `end_location` is the source offset of the end of the text.
  StringParser(std::string_view source, TextSize offset, TextSize end_location,
               Mode mode)
      : source_(source),
        offset_(offset),
        end_location_(end_location),
        mode_(mode) {}

  // Decodes the whole text into `out`, copying it up to each stop and
  // decoding each escape, and returns the length written. Stops are
  // backslashes, and in a middle also braces. No step writes more bytes than
  // it reads (the shortest escape that makes four bytes of UTF-8 reads five),
  // so `out` needs room for the text's length and the output never overtakes
  // the input.
  std::expected<std::size_t, LexicalError> decode(bool raw, char* out) {
    char* const begin = out;
    const auto put = [&out](std::string_view bytes) {
      std::memcpy(out, bytes.data(), bytes.size());
      out += bytes.size();
    };
    while (cursor_ < source_.size()) {
      const std::size_t stop = mode_ == Mode::Middle
                                   ? find_any(source_, cursor_, '\\', '{', '}')
                                   : find_backslash(source_, cursor_);
      if (stop == std::string_view::npos) {
        break;
      }
      put(source_.substr(cursor_, stop - cursor_));
      cursor_ = stop + 1;
      if (source_[stop] != '\\') {
        *out++ = source_[stop];
        ++offset_;
        continue;
      }
      // A middle may end in a backslash written before a replacement field.
      if (raw || (mode_ == Mode::Middle && cursor_ == source_.size())) {
        *out++ = '\\';
        continue;
      }
      const auto escape = parse_escaped_char();
      if (!escape) {
        return std::unexpected(escape.error());
      }
      switch (escape->kind) {
        case Escape::Kind::Char:
          if (mode_ == Mode::Bytes) {
            *out++ = static_cast<char>(escape->value & 0xFF);
          } else {
            out += encode_utf8(escape->value, out);
          }
          break;
        case Escape::Kind::Kept:
          put(source_.substr(stop, cursor_ - stop));
          break;
        case Escape::Kind::Continuation:
          break;
      }
    }
    put(source_.substr(cursor_));
    return static_cast<std::size_t>(out - begin);
  }

  // Decodes the escape after a backslash (already consumed).
  std::expected<Escape, LexicalError> parse_escaped_char() {
    if (cursor_ == source_.size()) {
      return error(LexicalErrorKind::UnexpectedString,
                   TextRange::empty(end_location_));
    }
    const char32_t c = next_char().value;
    const auto plain = [](char32_t value) {
      return Escape{.kind = Escape::Kind::Char, .value = value};
    };
    const bool bytes = mode_ == Mode::Bytes;
    switch (c) {
      case '\n':
        return Escape{.kind = Escape::Kind::Continuation};
      case '\r':
        if (cursor_ < source_.size() && source_[cursor_] == '\n') {
          ++cursor_;
        }
        return Escape{.kind = Escape::Kind::Continuation};
      case '\\':
      case '\'':
      case '"':
        return plain(c);
      case 'a':
        return plain(0x07);
      case 'b':
        return plain(0x08);
      case 'f':
        return plain(0x0C);
      case 'n':
        return plain(0x0A);
      case 'r':
        return plain(0x0D);
      case 't':
        return plain(0x09);
      case 'v':
        return plain(0x0B);
      case 'x':
        return as_char(parse_unicode_literal(2));
      case 'u':
        return bytes ? kept() : as_char(parse_unicode_literal(4));
      case 'U':
        return bytes ? kept() : as_char(parse_unicode_literal(8));
      case 'N':
        return bytes ? kept() : as_char(parse_named_unicode());
      default:
        break;
    }
    if ('0' <= c && c <= '7') {
      char32_t value = c - '0';
      for (int i = 0; i < 2 && cursor_ < source_.size() &&
                      '0' <= source_[cursor_] && source_[cursor_] <= '7';
           ++i) {
        value = value * 8 + static_cast<char32_t>(source_[cursor_++] - '0');
      }
      return plain(value);
    }
    return kept();
  }

  // Reads exactly `digits` hexadecimal digits as one character.
  std::expected<char32_t, LexicalError> parse_unicode_literal(int digits) {
    char32_t value = 0;
    for (int i = 0; i < digits; ++i) {
      if (cursor_ == source_.size()) {
        return error(LexicalErrorKind::InvalidUnicodeEscape,
                     TextRange::empty(end_location_));
      }
      const SourceChar c = next_char();
      if (!is_hex_digit(c.value)) {
        return error(LexicalErrorKind::InvalidUnicodeEscape, c.range);
      }
      value = value * 16 + hex_value(c.value);
    }
    if (0xD800 <= value && value <= 0xDFFF) {
      return U'\uFFFD';
    }
    if (value > 0x10FFFF) {
      return error(LexicalErrorKind::InvalidUnicodeEscape,
                   TextRange::empty(location(cursor_)));
    }
    return value;
  }

 private:
  struct SourceChar {
    char32_t value;
    TextRange range;  // where it stands in the source
  };

  static std::expected<Escape, LexicalError> as_char(
      std::expected<char32_t, LexicalError> c) {
    if (!c) {
      return std::unexpected(c.error());
    }
    return Escape{.kind = Escape::Kind::Char, .value = *c};
  }
  static Escape kept() { return Escape{.kind = Escape::Kind::Kept}; }

  static std::unexpected<LexicalError> error(LexicalErrorKind kind,
                                             TextRange range) {
    return std::unexpected(LexicalError{.error = kind, .location = range});
  }

  TextSize location(std::size_t index) const {
    return offset_ + static_cast<TextSize>(index);
  }

  // Consumes one character. A brace read inside an escape of a middle (as in
  // a backslash before a doubled brace) stood for two in the source.
  SourceChar next_char() {
    const Utf8Char c = decode_utf8(source_, cursor_);
    const TextSize start = location(cursor_);
    cursor_ += c.length;
    TextSize length = c.length;
    if (mode_ == Mode::Middle && (c.value == '{' || c.value == '}')) {
      ++offset_;
      ++length;
    }
    return {.value = c.value, .range = TextRange(start, start + length)};
  }

  // After "N": a character name between braces.
  std::expected<char32_t, LexicalError> parse_named_unicode() {
    if (cursor_ == source_.size() || source_[cursor_] != '{') {
      return error(LexicalErrorKind::MissingUnicodeLbrace,
                   TextRange::empty(location(cursor_)));
    }
    ++cursor_;
    const std::size_t close = source_.find('}', cursor_);
    if (close == std::string_view::npos) {
      return error(LexicalErrorKind::MissingUnicodeRbrace,
                   TextRange::empty(end_location_));
    }
    const std::string_view name = source_.substr(cursor_, close - cursor_);
    const TextSize start = location(cursor_);
    if (mode_ == Mode::Middle) {
      offset_ += doubled_braces_in_name(name);
    }
    const TextSize end = location(close);
    cursor_ = close + 1;
    const std::optional<char32_t> c = lookup_character_name(name);
    if (!c) {
      return error(LexicalErrorKind::InvalidUnicodeEscape,
                   TextRange(start, end));
    }
    return *c;
  }

  std::string_view source_;
  std::size_t cursor_ = 0;
  TextSize offset_;
  TextSize end_location_;
  Mode mode_;
};

// The length of the prefix that `flags` describe, as written in the source.
TextSize prefix_length(AnyStringFlags flags) {
  const bool raw = flags.intersects(AnyStringFlags::kPrefixRawLower |
                                    AnyStringFlags::kPrefixRawUpper);
  if (flags.intersects(AnyStringFlags::kPrefixB | AnyStringFlags::kPrefixF |
                       AnyStringFlags::kPrefixT)) {
    return raw ? 2 : 1;
  }
  return raw || flags.contains(AnyStringFlags::kPrefixU) ? 1 : 0;
}

bool is_raw(AnyStringFlags flags) {
  return flags.intersects(AnyStringFlags::kPrefixRawLower |
                          AnyStringFlags::kPrefixRawUpper);
}

}  // namespace

std::expected<StringType, LexicalError> parse_string_literal(
    std::string_view text, AnyStringFlags flags, TextRange range,
    Arena& arena) {
  const TextSize offset =
      range.start() + prefix_length(flags) + (flags.is_triple_quoted() ? 3 : 1);
  const bool bytes = flags.contains(AnyStringFlags::kPrefixB);
  if (bytes) {
    const std::size_t non_ascii = find_non_ascii(text);
    if (non_ascii != std::string_view::npos) {
      const TextSize start = offset + static_cast<TextSize>(non_ascii);
      return std::unexpected(LexicalError{
          .error = LexicalErrorKind::NonAsciiBytes,
          .location =
              TextRange(start, start + decode_utf8(text, non_ascii).length)});
    }
  }
  std::string_view value = text;
  if (!is_raw(flags) && find_backslash(text, 0) != std::string_view::npos) {
    StringParser parser(
        text, offset, offset + static_cast<TextSize>(text.size()),
        bytes ? StringParser::Mode::Bytes : StringParser::Mode::Str);
    char* out = static_cast<char*>(arena.allocate(text.size(), 1));
    const auto length = parser.decode(/*raw=*/false, out);
    if (!length) {
      return std::unexpected(length.error());
    }
    value = std::string_view(out, *length);
  }
  if (bytes) {
    BytesLiteral part;
    part.range = range;
    part.value = value;
    part.flags = flags.to_bytes_literal_flags();
    return part;
  }
  StringLiteral part;
  part.range = range;
  part.value = value;
  part.flags = flags.to_string_literal_flags();
  return part;
}

std::expected<InterpolatedStringElementLiteral, LexicalError>
parse_interpolated_string_literal_element(std::string_view text,
                                          AnyStringFlags flags, TextRange range,
                                          Arena& arena) {
  InterpolatedStringElementLiteral element;
  element.range = range;
  element.value = text;
  // Braces are stored unchanged, so without a backslash nothing changes.
  if (find_backslash(text, 0) == std::string_view::npos) {
    return element;
  }
  StringParser parser(text, range.start(), range.end(),
                      StringParser::Mode::Middle);
  char* out = static_cast<char*>(arena.allocate(text.size(), 1));
  const auto length = parser.decode(is_raw(flags), out);
  if (!length) {
    return std::unexpected(length.error());
  }
  element.value = std::string_view(out, *length);
  return element;
}

}  // namespace divu
