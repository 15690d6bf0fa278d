#include "base/muldiv.h"

#include <gtest/gtest.h>

#include "base/errors.h"

namespace tessane {
namespace {

TEST(MulDiv, RoundsHalvesAwayFromZero) {
  struct Case { int a, b, c, expected; };
  const Case cases[] = {
      {1920, 50800, 1920, 50800}, {320, 9, 16, 180}, {1, 1, 2, 1},  {3, 1, 2, 2},
      {-3, 1, 2, -2},             {5, 5, 10, 3},     {7, 0, 3, 0},  {800, 9, 16, 450},
      {1200, 9, 16, 675},         {5, 1, 0, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(MulDivWord, TruncatesOn16BitOperands) {
  EXPECT_EQ(MulDivWord(320, 3000, 4000), 240);
  EXPECT_EQ(MulDivWord(50, 1001, 100), 500);
  EXPECT_EQ(MulDivWord(32, 10, 400), 0);
  EXPECT_EQ(MulDivWord(65536 + 2, 3, 1), 6);  // only the low 16 bits count
  EXPECT_THROW(MulDivWord(5, 5, 0), DivisionByZeroError);
  EXPECT_THROW(MulDivWord(5000, 1400, 100), IntegerOverflowError);
}

}  // namespace
}  // namespace tessane
