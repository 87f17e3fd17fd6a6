#include "text_size.h"

#include <gtest/gtest.h>

#include "invariant.h"

namespace divu {
namespace {

TEST(TextRangeTest, BasicsAndDebugText) {
  const TextRange range(12, 19);
  EXPECT_EQ(range.length(), 7u);
  EXPECT_FALSE(range.is_empty());
  EXPECT_EQ(range.to_string(), "12..19");
  EXPECT_EQ(range.slice("0123456789abcdefghijkl"), "cdefghi");
  EXPECT_TRUE(TextRange::empty(4).is_empty());
  EXPECT_EQ(TextRange::empty(0).to_string(), "0..0");
  EXPECT_EQ(TextRange(1, 3).cover(TextRange(5, 9)), TextRange(1, 9));
}

TEST(TextRangeTest, StartAfterEndIsABrokenInvariant) {
  try {
    TextRange(5, 4);
    FAIL() << "no failure";
  } catch (const trelk::InvariantFailure& failure) {
    EXPECT_EQ(failure.message(), "assertion failed: start.raw <= end.raw");
  }
}

TEST(TextRangeTest, SliceBeyondTheTextIsABrokenInvariant) {
  EXPECT_THROW(TextRange(0, 4).slice("abc"), trelk::InvariantFailure);
}

}  // namespace
}  // namespace divu
