#include "debug_quote.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace trelk {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void append_unicode_escape(std::string& out, UChar32 code_point) {
  char digits[8];
  int count = 0;
  do {
    digits[count++] = kHexDigits[code_point & 0xF];
    code_point >>= 4;
  } while (code_point != 0);
  out += "\\u{";
  while (count > 0) {
    out += digits[--count];
  }
  out += '}';
}

void append_byte_escape(std::string& out, unsigned char byte) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0xF];
}

// The characters that Unicode 15.1, the project's version, added to the 15.0
// of ICU 72: CJK Unified Ideographs Extension I and five ideographic
// description characters, all letters or symbols. ICU calls them unassigned.
bool is_unicode_15_1_addition(UChar32 code_point) {
  return (code_point >= 0x2EBF0 && code_point <= 0x2EE5D) ||
         (code_point >= 0x2FFC && code_point <= 0x2FFF) || code_point == 0x31EF;
}

// The general categories that are never shown as they are: a reader could not
// tell them apart from nothing, from a space or from one another.
bool is_printable(UChar32 code_point) {
  if (is_unicode_15_1_addition(code_point)) {
    return true;
  }
  switch (u_charType(code_point)) {
    case U_SPACE_SEPARATOR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
      return false;
    default:
      return true;
  }
}

// Printable ASCII other than the two characters that need a backslash.
bool is_plain_ascii(unsigned char byte) {
  return byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\';
}

}  // namespace

void append_debug_quoted(std::string& out, std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  // ICU's macros take any integer index; 64 bits keep texts over 2 GiB whole.
  const auto length = static_cast<int64_t>(text.size());
  out.reserve(out.size() + text.size() + 2);
  out += '"';
  int64_t index = 0;
  while (index < length) {
    const unsigned char byte = bytes[index];
    if (is_plain_ascii(byte)) {
      out += static_cast<char>(byte);
      ++index;
      continue;
    }
    switch (byte) {
      case '"':
        out += "\\\"";
        ++index;
        continue;
      case '\\':
        out += "\\\\";
        ++index;
        continue;
      case '\t':
        out += "\\t";
        ++index;
        continue;
      case '\n':
        out += "\\n";
        ++index;
        continue;
      case '\r':
        out += "\\r";
        ++index;
        continue;
      case '\0':
        out += "\\0";
        ++index;
        continue;
      default:
        break;
    }
    const int64_t start = index;
    UChar32 code_point;
    U8_NEXT(bytes, index, length, code_point);
    if (code_point < 0) {
      // U8_NEXT consumed the maximal ill-formed subsequence; show each byte.
      for (int64_t k = start; k < index; ++k) {
        append_byte_escape(out, bytes[k]);
      }
    } else if (u_hasBinaryProperty(code_point, UCHAR_GRAPHEME_EXTEND) ||
               !is_printable(code_point)) {
      append_unicode_escape(out, code_point);
    } else {
      out.append(text.substr(static_cast<std::size_t>(start),
                             static_cast<std::size_t>(index - start)));
    }
  }
  out += '"';
}

std::string debug_quote(std::string_view text) {
  std::string out;
  append_debug_quoted(out, text);
  return out;
}

}  // namespace trelk
