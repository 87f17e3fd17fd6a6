#include "token_list.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <latch>
#include <new>
#include <thread>
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

// Under a limit on the address space that leaves room for a list but not
// for the room a fresh mapping takes to grow, the list still gets its
// memory. A thread of its own, in a child process, has no spare mapping.
TEST(TokenListTest, AListIsMappedWhenTheAddressSpaceHasRoomForItAlone) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer maps memory of its own under the limit";
#else
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::latch warmed(1);
    std::latch limited(1);
    int code = 2;
    std::thread lister([&] {
      // The thread's heap is made before the limit.
      TokenList warm;
      warm.push_back(token_at(0));
      warmed.count_down();
      limited.wait();
      try {
        TokenList list;
        for (std::size_t index = 0; index < kMapTokens * 2; ++index) {
          list.push_back(token_at(index));
        }
        code = list.mapped_bytes() != 0 ? 0 : 3;
      } catch (const std::bad_alloc&) {
        code = 1;
      }
    });
    warmed.wait();
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) {
        pages = 0;
      }
      std::fclose(statm);
    }
    const auto used = static_cast<rlim_t>(pages) *
                      static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
    const rlimit limit{.rlim_cur = used + (rlim_t{2} << 20),
                       .rlim_max = RLIM_INFINITY};
    if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) {
      ::_exit(4);
    }
    limited.count_down();
    lister.join();
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  // 1: the list's memory was refused.
  EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

}  // namespace
}  // namespace divu
