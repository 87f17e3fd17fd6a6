#include "arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace divu {
namespace {

// Stricter than the alignment of a fresh block.
struct alignas(64) Wide {
  std::uint64_t a = 1;
  std::uint64_t b = 2;
};

TEST(ArenaTest, MixedAllocationsAreAlignedAndKeepTheirContents) {
  Arena arena;
  std::vector<std::pair<std::uint32_t*, std::uint32_t>> ints;
  std::vector<Wide*> wides;
  std::vector<std::pair<std::string_view, std::string>> texts;
  // Enough to fill many blocks, with an oversized text now and then.
  for (std::uint32_t i = 0; i < 20000; ++i) {
    ints.emplace_back(arena.make<std::uint32_t>(i), i);
    wides.push_back(arena.make<Wide>());
    const std::string text(i % 997 == 0 ? std::size_t{3} << 19 : i % 13,
                           static_cast<char>('a' + i % 26));
    texts.emplace_back(arena.copy_string(text), text);
  }
  for (const auto& [pointer, value] : ints) {
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(pointer) % 4, 0u);
    ASSERT_EQ(*pointer, value);
  }
  for (const Wide* wide : wides) {
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(wide) % 64, 0u);
    ASSERT_EQ(wide->a + wide->b, 3u);
  }
  for (const auto& [copy, text] : texts) {
    ASSERT_EQ(copy, text);
  }
  // The first allocation of a fresh arena, and one larger than any block,
  // each start a block of their own.
  Arena fresh;
  const Wide* first = fresh.make<Wide>();
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 64, 0u);
  const void* huge = fresh.allocate(std::size_t{5} << 20, 64);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(huge) % 64, 0u);
}

TEST(ArenaTest, ListsAreValueInitialisedOrCopied) {
  Arena arena;
  const std::span<int> zeros = arena.make_list<int>(5);
  ASSERT_EQ(zeros.size(), 5u);
  for (int value : zeros) {
    EXPECT_EQ(value, 0);
  }
  const std::vector<int> source = {3, 1, 4};
  const std::span<int> copy = arena.copy_list(std::span<const int>(source));
  EXPECT_EQ(std::vector<int>(copy.begin(), copy.end()), source);
  EXPECT_NE(copy.data(), source.data());
  EXPECT_TRUE(arena.make_list<int>(0).empty());
  EXPECT_TRUE(arena.copy_list(std::span<const int>()).empty());
  EXPECT_TRUE(arena.copy_string("").empty());
}

TEST(ArenaTest, MovingKeepsEverythingInPlace) {
  Arena arena;
  int* first = arena.make<int>(42);
  const std::string_view text = arena.copy_string("kept");
  Arena moved(std::move(arena));
  EXPECT_EQ(*first, 42);
  EXPECT_EQ(text, "kept");
  // The moved-from arena is empty and usable.
  EXPECT_EQ(arena.reserved_bytes(), 0u);
  EXPECT_EQ(*arena.make<int>(7), 7);
  Arena assigned;
  assigned = std::move(moved);
  EXPECT_EQ(*first, 42);
}

TEST(ArenaTest, ReservesLittleBeyondWhatIsUsed) {
  Arena arena;
  EXPECT_EQ(arena.reserved_bytes(), 0u);
  // 8 MiB in small pieces: doubling blocks capped at 1 MiB waste at most
  // the tail of the last block plus the headers.
  constexpr std::size_t kUsed = std::size_t{8} << 20;
  for (std::size_t used = 0; used < kUsed; used += 24) {
    arena.allocate(24, 8);
  }
  EXPECT_GE(arena.reserved_bytes(), kUsed);
  EXPECT_LT(arena.reserved_bytes(), kUsed + (std::size_t{1} << 20) + 4096);
}

TEST(ArenaTest, AnExpectedSizeIsReservedInOneBlock) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  // At most this much for a block's header.
  constexpr std::size_t kHeader = 64;
  struct Case {
    std::size_t expected;
    std::size_t used;
    std::size_t reserved_at_most;
  };
  constexpr Case kCases[] = {
      // Exactly as expected: one block, nothing more.
      {.expected = kMiB, .used = kMiB, .reserved_at_most = kMiB + kHeader},
      // A little more: the next block is a quarter of the first.
      {.expected = kMiB,
       .used = kMiB + 1000,
       .reserved_at_most = kMiB + kMiB / 4 + 2 * kHeader},
      // Tiny and huge estimates are clamped to 4 KiB and 1 MiB.
      {.expected = 1, .used = 16, .reserved_at_most = 4096 + kHeader},
      {.expected = std::size_t{1} << 40,
       .used = 16,
       .reserved_at_most = kMiB + kHeader},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.expected << " " << c.used);
    Arena arena(c.expected);
    std::vector<std::uint64_t*> values;
    for (std::size_t used = 0; used < c.used; used += 16) {
      auto* value = static_cast<std::uint64_t*>(arena.allocate(16, 8));
      *value = used;
      values.push_back(value);
    }
    EXPECT_GE(arena.reserved_bytes(), c.used);
    EXPECT_LE(arena.reserved_bytes(), c.reserved_at_most);
    for (std::size_t i = 0; i < values.size(); ++i) {
      ASSERT_EQ(*values[i], i * 16);
    }
  }
}

TEST(ArenaTest, ReleasingTheUnusedEndKeepsWhatIsUsed) {
  constexpr std::size_t kExpected = std::size_t{256} << 10;
  Arena first(kExpected);
  std::vector<std::uint64_t*> values;
  for (std::uint64_t i = 0; i < 100; ++i) {
    values.push_back(first.make<std::uint64_t>(i));
  }
  EXPECT_GE(first.reserved_bytes(), kExpected);
  first.release_unused();
  EXPECT_LT(first.reserved_bytes(), 1024u);
  // The released end serves the next arena; the first still takes more.
  Arena second(kExpected);
  for (std::uint64_t i = 0; i < 100; ++i) {
    values.push_back(second.make<std::uint64_t>(100 + i));
    values.push_back(first.make<std::uint64_t>(200 + i));
  }
  first.release_unused();
  for (std::size_t i = 0; i < 100; ++i) {
    ASSERT_EQ(*values[i], i);
    ASSERT_EQ(*values[100 + 2 * i], 100 + i);
    ASSERT_EQ(*values[101 + 2 * i], 200 + i);
  }
}

TEST(ArenaTest, ArenasOfManyThreadsKeepTheirContentsWhateverIsFreed) {
  // Threads fill arenas of many sizes (blocks cut from shared pieces of
  // memory, and blocks on their own), free every other one at once and
  // hand the rest to this thread, which reads them after the threads ended
  // and frees them. Each value names its arena, so any memory handed out
  // twice shows.
  constexpr std::size_t kThreads = 4;
  constexpr std::size_t kArenas = 60;
  struct Filled {
    Arena arena;
    std::vector<std::uint64_t*> values;
    std::uint64_t name;
  };
  std::vector<std::vector<Filled>> kept(kThreads);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &mine = kept[t]] {
      for (std::size_t a = 0; a < kArenas; ++a) {
        // From 4 KiB to 3 MiB, some estimated and some grown.
        const std::size_t bytes = std::size_t{4096} << (a % 10);
        Filled filled{.arena = a % 3 == 0 ? Arena() : Arena(bytes / 2),
                      .values = {},
                      .name = t * 1000 + a};
        for (std::size_t used = 0; used < bytes; used += 64) {
          auto* value = static_cast<std::uint64_t*>(
              filled.arena.allocate(64, alignof(std::uint64_t)));
          *value = filled.name;
          filled.values.push_back(value);
        }
        if (a % 2 == 1) {
          mine.push_back(std::move(filled));
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const std::vector<Filled>& list : kept) {
    for (const Filled& filled : list) {
      for (const std::uint64_t* value : filled.values) {
        ASSERT_EQ(*value, filled.name);
      }
    }
  }
}

}  // namespace
}  // namespace divu
