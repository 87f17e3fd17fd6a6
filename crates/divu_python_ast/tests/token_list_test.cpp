#include "token_list.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace divu {
namespace {

Token token_at(std::size_t index) {
  const auto start = static_cast<TextSize>(index * 3);
  return Token{.range = TextRange(start, start + 2),
               .flags = TokenFlags(static_cast<std::uint16_t>(index & 0xff)),
               .kind = static_cast<TokenKind>(index % 7)};
}

// Every token the list holds is the one pushed at its index.
void expect_filled(const TokenList& list, std::size_t size) {
  ASSERT_EQ(list.size(), size);
  for (std::size_t index = 0; index < size; ++index) {
    const Token expected = token_at(index);
    const Token& actual = list[index];
    ASSERT_EQ(actual.range, expected.range) << index;
    ASSERT_EQ(actual.flags, expected.flags) << index;
    ASSERT_EQ(actual.kind, expected.kind) << index;
  }
}

constexpr std::size_t kMapTokens = TokenList::kMapBytes / sizeof(Token);

// A list that grows one token at a time from the heap into a mapping, and
// then past its mapping (which the kernel extends or moves), keeps every
// token; so does one whose room is made in one step.
TEST(TokenListTest, GrowingKeepsEveryToken) {
  struct Case {
    const char* name;
    std::size_t reserved;
    std::size_t pushed;
  };
  constexpr Case kCases[] = {
      {.name = "heap only", .reserved = 0, .pushed = kMapTokens / 2},
      {.name = "heap into a mapping", .reserved = 0, .pushed = kMapTokens * 3},
      {.name = "mapping that grows",
       .reserved = kMapTokens * 2,
       .pushed = 1'500'000},
      {.name = "room made at once", .reserved = 2'000'000, .pushed = 1'999'999},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TokenList list;
    list.reserve(c.reserved);
    for (std::size_t index = 0; index < c.pushed; ++index) {
      list.push_back(token_at(index));
    }
    expect_filled(list, c.pushed);
    EXPECT_GE(list.capacity(), c.pushed);
  }
}

// A mapping freed on a thread serves that thread's next large list, which
// must see only its own tokens and the room it asked for; and cutting a
// list back and filling it again keeps the earlier tokens.
TEST(TokenListTest, ReusedMappingsAndCutsHoldOnlyTheirOwnTokens) {
  {
    TokenList first;
    for (std::size_t index = 0; index < kMapTokens * 40; ++index) {
      first.push_back(Token{.kind = TokenKind::Comment});
    }
  }
  TokenList second;
  second.reserve(kMapTokens * 2);
  EXPECT_EQ(second.size(), 0u);
  EXPECT_EQ(second.mapped_bytes(), second.capacity() * sizeof(Token));
  EXPECT_LT(second.capacity(), kMapTokens * 3);
  for (std::size_t index = 0; index < kMapTokens * 50; ++index) {
    second.push_back(token_at(index));
  }
  expect_filled(second, kMapTokens * 50);

  second.truncate(10);
  for (std::size_t index = 10; index < 20; ++index) {
    second.push_back(token_at(index));
  }
  expect_filled(second, 20);

  TokenList moved = std::move(second);
  EXPECT_EQ(second.size(), 0u);
  EXPECT_EQ(second.data(), nullptr);
  expect_filled(moved, 20);
}

}  // namespace
}  // namespace divu
