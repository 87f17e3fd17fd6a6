#include "utf8.h"

#include <cstdint>
#include <cstring>

#include "invariant.h"

namespace trelk {

std::size_t valid_utf8_prefix(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    // Source files are mostly ASCII: skip eight bytes at a time while no high
    // bit is set.
    while (i + 8 <= size) {
      std::uint64_t word;
      std::memcpy(&word, bytes + i, sizeof word);
      if (word & 0x8080808080808080ull) {
        break;
      }
      i += 8;
    }
    if (i >= size) {
      break;
    }
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The accepted second-byte range depends on the lead byte; this is what
    // excludes overlong forms, surrogates and values above U+10FFFF.
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) {
        low = 0xA0;
      } else if (lead == 0xED) {
        high = 0x9F;
      }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) {
        low = 0x90;
      } else if (lead == 0xF4) {
        high = 0x8F;
      }
    } else {
      return i;
    }
    if (size - i < length) {
      return i;
    }
    if (bytes[i + 1] < low || bytes[i + 1] > high) {
      return i;
    }
    for (std::size_t k = 2; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) {
        return i;
      }
    }
    i += length;
  }
  return size;
}

void append_utf8(std::string& out, char32_t c) {
  TRELK_CHECK(c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF),
              "invalid Unicode scalar value");
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace trelk
