#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/LString.h"
#include "base/LTextSink.h"

TEST(LString, EmptyStringsShareOneRepresentation) {
    LString a, b(nullptr, 7), c("abc", 0), d("");
    EXPECT_EQ(a.Rep(), LString::EmptyRep());
    EXPECT_EQ(b.Rep(), LString::EmptyRep());
    EXPECT_EQ(c.Rep(), LString::EmptyRep());
    EXPECT_EQ(d.Rep(), LString::EmptyRep());
    EXPECT_STREQ(a.CStr(), "");
    EXPECT_EQ(a.Length(), 0u);
}

TEST(LString, LengthToZeroAndCopiesShareCharacters) {
    const char bytes[] = {'a', 'b', 0, 'c'};
    LString s(bytes, LString::kToZero);
    EXPECT_EQ(s.Length(), 2u);
    LString t(bytes, 4);
    EXPECT_EQ(t.Length(), 4u);
    EXPECT_EQ(t.CStr()[4], 0);
    LString u = s;
    EXPECT_EQ(u.Rep(), s.Rep());
    EXPECT_EQ(s.Rep()->RefCount(), 2);
}

TEST(LString, SelfAssignmentKeepsTheText) {
    LString s("hello");
    LStringRep* rep = s.Rep();
    s = *&s;
    EXPECT_EQ(s.Rep(), rep);
    EXPECT_EQ(rep->RefCount(), 1);
    EXPECT_STREQ(s.CStr(), "hello");
}

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

TEST(LTextStream, MovesToHeapAtTheSixtyFourthByte) {
    LTextStream t;
    std::string text(63, 'x');
    for (int i = 0; i < 63; ++i) text[i] = char('A' + i % 26);
    t.Write(text.data(), 63);
    EXPECT_TRUE(t.IsInline());
    EXPECT_EQ(t.CStr(), text);
    t.Write("!", 1);
    EXPECT_FALSE(t.IsInline());
    EXPECT_EQ(t.CStr(), text + "!");
    EXPECT_EQ(t.Length(), 64u);
    t.Clear();
    t.Put("short");
    EXPECT_TRUE(t.IsInline());
    EXPECT_STREQ(t.CStr(), "short");
    std::string big(10000, 'q');
    t.Write(big.data(), u32(big.size()));
    EXPECT_EQ(std::string(t.CStr()), "short" + big);
    EXPECT_FALSE(t.Error());
}

TEST(LCharBufSink, CutsAndFlagsWhatDoesNotFit) {
    char buf[8];
    LCharBufSink s(buf, 8);
    for (char c = 'a'; c <= 'j'; ++c) s.Write(&c, 1);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_EQ(s.Length(), 7u);
    EXPECT_TRUE(s.Error());
    s.Clear();
    s.Write("xyz", 0);
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(s.Error());
}
