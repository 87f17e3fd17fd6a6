#include "byte_search.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace trelk {
namespace {

std::size_t naive_find(std::string_view text, std::size_t from, char a,
                       char b) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == a || text[i] == b) {
      return i;
    }
  }
  return std::string_view::npos;
}

std::size_t naive_rfind(std::string_view text, std::size_t before, char a,
                        char b) {
  for (std::size_t i = before; i > 0; --i) {
    if (text[i - 1] == a || text[i - 1] == b) {
      return i - 1;
    }
  }
  return std::string_view::npos;
}

// Every start and end position of texts that put matches and near misses
// (the same low bits with the high bit set, neighbouring values, zero) at
// every place inside and across eight-byte words.
TEST(ByteSearchTest, AgreesWithAByteLoopEverywhere) {
  const std::string_view fillers[] = {
      "abcdefghijklmnopqrstuvwxyz0123456789",
      std::string_view("\x8A\x8D\x0B\x0C\x0E\x09\x00\xFF\x8A\x8D\x0B\x0C"
                       "\x0E\x09\x00\xFF\x01\x7F\x80\x81\x8A\x8D",
                       22),
  };
  for (std::string_view filler : fillers) {
    for (std::size_t length = 0; length <= filler.size(); ++length) {
      for (std::size_t hit = 0; hit <= length; ++hit) {
        for (char match : {'\n', '\r'}) {
          std::string text(filler.substr(0, length));
          if (hit < length) {
            text[hit] = match;
          }
          if (length > 12 && hit + 9 < length) {
            text[hit + 9] = '\n' + '\r' - match;
          }
          SCOPED_TRACE(testing::Message()
                       << "length " << length << " hit " << hit);
          for (std::size_t at = 0; at <= length; ++at) {
            EXPECT_EQ(find_either_byte(text, at, '\n', '\r'),
                      naive_find(text, at, '\n', '\r'));
            EXPECT_EQ(rfind_either_byte(text, at, '\n', '\r'),
                      naive_rfind(text, at, '\n', '\r'));
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace trelk
