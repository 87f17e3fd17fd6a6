#include "utf8.h"

#include <cstdint>
#include <cstring>

#include "invariant.h"

namespace trelk {

namespace {

// What a lead byte at or above 0x80 allows: the length of its sequence (0
// when it starts none) and the range of the second byte. The second byte's
// range is what excludes overlong forms, surrogates and values above
// U+10FFFF.
struct SequenceBounds {
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
};

SequenceBounds sequence_bounds(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return {.length = 2};
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return {.length = 3,
            .low = static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80),
            .high = static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF)};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return {.length = 4,
            .low = static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80),
            .high = static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF)};
  }
  return {};
}

}  // namespace

std::size_t valid_utf8_prefix(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    // Source files are mostly ASCII: skip 32 bytes at a time while no high
    // bit is set (four independent loads, one test), then eight at a time.
    while (i + 32 <= size) {
      std::uint64_t words[4];
      std::memcpy(words, bytes + i, sizeof words);
      if ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ull) {
        break;
      }
      i += 32;
    }
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
    const SequenceBounds bounds = sequence_bounds(lead);
    const std::size_t length = bounds.length;
    if (length == 0) {
      return i;
    }
    if (size - i < length) {
      return i;
    }
    if (bytes[i + 1] < bounds.low || bytes[i + 1] > bounds.high) {
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

std::string to_utf8_lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (true) {
    const std::size_t valid = valid_utf8_prefix(text);
    out.append(text.substr(0, valid));
    text.remove_prefix(valid);
    if (text.empty()) {
      return out;
    }
    out.append("\xEF\xBF\xBD");
    // The replaced part is the lead byte with the bytes that could still
    // have continued it.
    const SequenceBounds bounds =
        sequence_bounds(static_cast<unsigned char>(text[0]));
    std::size_t taken = 1;
    while (taken < bounds.length && taken < text.size()) {
      const auto byte = static_cast<unsigned char>(text[taken]);
      const bool fits = taken == 1 ? byte >= bounds.low && byte <= bounds.high
                                   : (byte & 0xC0) == 0x80;
      if (!fits) {
        break;
      }
      ++taken;
    }
    text.remove_prefix(taken);
  }
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
