#include "invariant.h"

#include <gtest/gtest.h>

#include <string>

namespace trelk {
namespace {

TEST(InvariantTest, CheckThrowsWithExactMessageAndKeepsNulBytes) {
  const std::string message("range start\0after end", 21);
  try {
    TRELK_CHECK(1 + 1 == 3, message);
    FAIL() << "no exception";
  } catch (const InvariantFailure& failure) {
    EXPECT_EQ(failure.message(), message);
  }
}

TEST(InvariantTest, MessageIsNotEvaluatedWhenTheCheckHolds) {
  int evaluated = 0;
  auto message = [&] {
    ++evaluated;
    return std::string("unused");
  };
  TRELK_CHECK(true, message());
  EXPECT_EQ(evaluated, 0);
}

}  // namespace
}  // namespace trelk
