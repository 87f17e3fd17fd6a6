#include "byte_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

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
// every place inside and across vectors.
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
            EXPECT_EQ(find_any_of_three_bytes(text, at, '\'', '\n', '\r'),
                      std::min(naive_find(text, at, '\n', '\r'),
                               text.find('\'', at)));
            EXPECT_EQ(rfind_either_byte(text, at, '\n', '\r'),
                      naive_rfind(text, at, '\n', '\r'));
          }
          std::vector<std::size_t> visited;
          const bool ascii = for_each_either_byte(
              text, '\n', '\r', [&](std::size_t i) { visited.push_back(i); });
          std::vector<std::size_t> expected;
          for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' || text[i] == '\r') {
              expected.push_back(i);
            }
          }
          EXPECT_EQ(visited, expected);
          EXPECT_EQ(ascii, std::all_of(text.begin(), text.end(), [](char c) {
                      return static_cast<unsigned char>(c) < 0x80;
                    }));
        }
      }
    }
  }
}

// Texts long enough for several 64-byte steps, then 16-byte ones and a
// tail: matches at every place, alone and in runs that fill whole vectors,
// with the other line break beside them.
TEST(ByteSearchTest, EveryMatchIsVisitedAcrossSteps) {
  for (std::size_t length = 0; length <= 150; ++length) {
    for (std::size_t hit = 0; hit <= length; ++hit) {
      for (std::size_t run :
           {std::size_t{1}, std::size_t{2}, std::size_t{70}}) {
        std::string text(length, 'x');
        for (std::size_t i = hit; i < std::min(length, hit + run); ++i) {
          text[i] = i % 3 == 0 ? '\r' : '\n';
        }
        SCOPED_TRACE(testing::Message() << "length " << length << " hit " << hit
                                        << " run " << run);
        std::vector<std::size_t> visited;
        EXPECT_TRUE(for_each_either_byte(
            text, '\n', '\r', [&](std::size_t i) { visited.push_back(i); }));
        std::vector<std::size_t> expected;
        for (std::size_t i = 0; i < text.size(); ++i) {
          if (text[i] == '\n' || text[i] == '\r') {
            expected.push_back(i);
          }
        }
        ASSERT_EQ(visited, expected);
      }
    }
  }
}

TEST(ByteSearchTest, OneHighByteAnywhereMakesTheTextNonAscii) {
  const auto no_visit = [](std::size_t) {};
  for (std::size_t length = 0; length <= 150; ++length) {
    std::string text(length, 'a');
    EXPECT_TRUE(for_each_either_byte(text, '\n', '\r', no_visit));
    for (std::size_t high = 0; high < length; ++high) {
      SCOPED_TRACE(testing::Message()
                   << "length " << length << " high " << high);
      text.assign(length, 'a');
      text[high] = '\x80';
      EXPECT_FALSE(for_each_either_byte(text, '\n', '\r', no_visit));
    }
  }
}

// Every byte value as the one that ends a run, at every place inside and
// across vectors and at every distance from the text's end; the fillers
// hold every word byte, including the edges of each range.
TEST(ByteSearchTest, AWordRunEndsAtTheFirstByteOutsideTheClass) {
  const auto is_word = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c >= '0' && c <= '9') || c == '_';
  };
  const std::string filler =
      "azAZ09_bcdefghijklmnopqrstuvwxyBCDEFGHIJKLMNOPQRSTUVWXY12345678";
  for (int value = 0; value < 256; ++value) {
    const auto stop = static_cast<char>(value);
    for (std::size_t length = 0; length <= 40; ++length) {
      for (std::size_t hit = 0; hit <= length; ++hit) {
        std::string text = filler.substr(0, length);
        if (hit < length) {
          text[hit] = stop;
        }
        const char* end = text.data() + text.size();
        for (std::size_t at = 0; at <= length; ++at) {
          const char* expected = text.data() + at;
          while (expected < end &&
                 is_word(static_cast<unsigned char>(*expected))) {
            ++expected;
          }
          const char* found = end_of_word_bytes(text.data() + at, end);
          if (found != expected) {
            ADD_FAILURE() << "byte " << value << " length " << length << " hit "
                          << hit << " from " << at << ": "
                          << found - text.data() << " instead of "
                          << expected - text.data();
            return;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace trelk
