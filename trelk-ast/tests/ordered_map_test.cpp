// OrderedMap: insertion order and lookups at every size, and a number of key
// comparisons that grows linearly with the number of keys.

#include "ordered_map.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trelk {
namespace {

// The text keys, counting every comparison.
struct CountingTraits {
  static inline std::size_t comparisons = 0;
  static std::size_t hash(std::string_view key) {
    return TextKeyTraits::hash(key);
  }
  static bool equal(std::string_view a, std::string_view b) {
    ++comparisons;
    return a == b;
  }
};

// Every key hashes alike, so that every lookup probes past the others.
struct CollidingTraits {
  static std::size_t hash(std::string_view) { return 7; }
  static bool equal(std::string_view a, std::string_view b) { return a == b; }
};

std::string key(std::size_t number) {
  return "field_" + std::to_string(number);
}

// Builds a map of `count` keys as the extraction does: each key looked up
// first, then inserted; the odd keys are assigned a second time.
template <class Traits>
OrderedMap<std::size_t, Traits> build(std::size_t count) {
  OrderedMap<std::size_t, Traits> map;
  for (std::size_t number = 0; number < count; ++number) {
    if (!map.contains(key(number))) {
      map.insert_or_assign(key(number), number);
    }
  }
  for (std::size_t number = 1; number < count; number += 2) {
    map[key(number)] += count;
  }
  return map;
}

template <class Traits>
void expect_holds_in_order(const OrderedMap<std::size_t, Traits>& map,
                           std::size_t count) {
  ASSERT_EQ(map.size(), count);
  std::size_t number = 0;
  for (const auto& [name, value] : map) {
    SCOPED_TRACE(name);
    EXPECT_EQ(name, key(number));
    EXPECT_EQ(value, number % 2 == 1 ? number + count : number);
    const std::size_t* found = map.find(name);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, value);
    ++number;
  }
  EXPECT_FALSE(map.contains(key(count)));
  EXPECT_FALSE(map.contains(""));
}

TEST(OrderedMapTest, KeepsInsertionOrderAndFindsEveryKeyAtEverySize) {
  // Sizes around the change from an ordered search to the index, and
  // around the index's first rebuilds.
  for (std::size_t count = 0; count <= 80; ++count) {
    SCOPED_TRACE(count);
    const auto map = build<TextKeyTraits>(count);
    expect_holds_in_order(map, count);
    // A copy carries its own index.
    const auto copy = map;
    expect_holds_in_order(copy, count);
    EXPECT_EQ(copy, map);
  }
}

TEST(OrderedMapTest, KeysThatHashAlikeAreStillToldApart) {
  for (const std::size_t count : {std::size_t{9}, std::size_t{100}}) {
    SCOPED_TRACE(count);
    expect_holds_in_order(build<CollidingTraits>(count), count);
  }
}

TEST(OrderedMapTest, EqualityIsOfTheEntriesInOrder) {
  OrderedMap<std::size_t> reserved;
  reserved.reserve(100);
  OrderedMap<std::size_t> grown;
  for (std::size_t number = 0; number < 20; ++number) {
    reserved.insert_or_assign(key(number), number);
    grown.insert_or_assign(key(number), number);
  }
  EXPECT_EQ(reserved, grown);
  grown.insert_or_assign(key(3), 99);
  EXPECT_NE(reserved, grown);
}

TEST(OrderedMapTest, ComparisonsGrowLinearlyWithTheKeys) {
  // An ordered search would make count^2 / 2 comparisons: 5 * 10^9 for
  // 10^5 keys.
  for (const std::size_t count :
       {std::size_t{1'000}, std::size_t{10'000}, std::size_t{100'000}}) {
    SCOPED_TRACE(count);
    CountingTraits::comparisons = 0;
    const auto map = build<CountingTraits>(count);
    for (std::size_t number = 0; number < 2 * count; ++number) {
      (void)map.find(key(number));
    }
    EXPECT_LT(CountingTraits::comparisons, 8 * count);
  }
}

}  // namespace
}  // namespace trelk
