#include <gtest/gtest.h>

#include "base/LString.h"

TEST(StrCompares, NullIsEmpty) {
    EXPECT_TRUE(StrEqual(nullptr, ""));
    EXPECT_FALSE(StrEqual(nullptr, "a"));
    EXPECT_EQ(StrCompare(nullptr, nullptr), 0);
    EXPECT_EQ(StrComparePrefix("abc", "ab"), 0);
    EXPECT_LT(StrComparePrefix("ab", "abc"), 0);
    EXPECT_EQ(StrComparePrefix("", ""), 0);
    EXPECT_EQ(StrComparePrefix("a", ""), 1);
    EXPECT_EQ(StrComparePrefix("", "a"), -1);
}
