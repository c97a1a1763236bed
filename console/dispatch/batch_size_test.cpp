#include "console/dispatch/batch_size.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

TEST(BatchSizeTest, ReadsTheNumberAtTheStart) {
  EXPECT_EQ(BatchSizeFromText("100"), 100);
  EXPECT_EQ(BatchSizeFromText("10 per message"), 10);
  EXPECT_EQ(BatchSizeFromText("  7"), 7);
  EXPECT_EQ(BatchSizeFromText("+12"), 12);
  EXPECT_EQ(BatchSizeFromText("-3"), -3);
  EXPECT_EQ(BatchSizeFromText("1e2"), 100);
  EXPECT_EQ(BatchSizeFromText("2e"), 2);
  EXPECT_EQ(BatchSizeFromText(".5x"), 0);
  EXPECT_EQ(BatchSizeFromText("4.75"), 5);
}

TEST(BatchSizeTest, TextWithoutANumberReadsZero) {
  EXPECT_EQ(BatchSizeFromText(""), 0);
  EXPECT_EQ(BatchSizeFromText("abc"), 0);
  EXPECT_EQ(BatchSizeFromText("x10"), 0);
  EXPECT_EQ(BatchSizeFromText("-"), 0);
  EXPECT_EQ(BatchSizeFromText("."), 0);
}

TEST(BatchSizeTest, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(BatchSizeFromText("2.5"), 2);
  EXPECT_EQ(BatchSizeFromText("3.5"), 4);
  EXPECT_EQ(BatchSizeFromText("0.5"), 0);
  EXPECT_EQ(BatchSizeFromText("1.5"), 2);
  EXPECT_EQ(BatchSizeFromText("-2.5"), -2);
}

TEST(BatchSizeTest, OnlySixteenBitNumbersConvert) {
  EXPECT_EQ(BatchSizeFromText("32767"), 32767);
  EXPECT_EQ(BatchSizeFromText("32767.4"), 32767);
  EXPECT_EQ(BatchSizeFromText("32767.5"), std::nullopt);
  EXPECT_EQ(BatchSizeFromText("32768"), std::nullopt);
  EXPECT_EQ(BatchSizeFromText("-32768"), -32768);
  EXPECT_EQ(BatchSizeFromText("-32769"), std::nullopt);
  EXPECT_EQ(BatchSizeFromText("1e400"), std::nullopt);
  EXPECT_EQ(BatchSizeFromText("1e-400"), 0);
}

}  // namespace
}  // namespace verdanpost
