#include <gtest/gtest.h>

#include <string>

#include "base/CharReader.h"
#include "base/TextEncoding.h"

namespace {

struct Read {
    i32 result;
    u32 cp;
};

Read ReadOne(const std::string& bytes) {
    LMemReader reader(bytes.data(), u32(bytes.size()));
    Read r{0, 0xFFFFFFFFu};
    r.result = ReadUtf8Char(reader, &r.cp);
    return r;
}

}  // namespace

TEST(Utf8Char, RejectsMalformedSequences) {
    for (const char* bad : {
             "\xC3"
             "A",             // no continuation
             "\xC3",          // cut at the end
             "\xE2\x82",      // cut inside three bytes
             "\x80", "\xBF",  // stray continuations
             "\xF8\x88\x80\x80\x80", "\xFF", "\xC0\xAF",
             "\xC1\xBF",                              // overlong two-byte forms ("/" and DEL)
             "\xE0\x80\xAF", "\xE0\x9F\xBF",          // overlong three-byte forms
             "\xF0\x80\x80\xAF", "\xF0\x8F\xBF\xBF",  // overlong four-byte forms
             "\xED\xA0\x80", "\xED\xBF\xBF",          // surrogates
             "\xF4\x90\x80\x80", "\xF7\xBF\xBF\xBF",  // above U+10FFFF
         }) {
        EXPECT_EQ(ReadOne(bad).result, kUtf8Malformed) << testing::PrintToString(std::string(bad));
    }
}

TEST(Utf8Char, EncodeAndReadRoundTripEveryScalarValue) {
    for (u32 cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        LTextStream s;
        ASSERT_TRUE(Utf8Encode(s, cp));
        LMemReader reader(s.CStr(), s.Length());
        u32 back = 0;
        // LMemReader ends at a zero byte, so U+0000 reads as the end.
        if (cp == 0) {
            ASSERT_EQ(s.Length(), 1u);
            continue;
        }
        ASSERT_EQ(ReadUtf8Char(reader, &back), kUtf8Ok) << cp;
        ASSERT_EQ(back, cp);
        ASSERT_EQ(ReadUtf8Char(reader, &back), kUtf8End);
    }
}

TEST(Utf8Char, NextChar) {
    EXPECT_EQ(Utf8NextChar(nullptr), nullptr);
    const char* text = "a\xC3\xA9\xF0\x9F\x98\x80";
    const char* p = Utf8NextChar(text);
    EXPECT_EQ(p, text + 1);
    p = Utf8NextChar(p);
    EXPECT_EQ(p, text + 3);
    p = Utf8NextChar(p);
    EXPECT_EQ(p, text + 7);
    EXPECT_EQ(Utf8NextChar(p), p);
}

TEST(Conversions, LoneSurrogateBecomesQuestionMark) {
    const u16 units[] = {u16('a'), 0xD800, u16('b')};
    LString s;
    StringFromUtf16(&s, units, 3);
    EXPECT_STREQ(s.CStr(), "a?b");
    StringFromUtf16(&s, nullptr, 0);
    EXPECT_STREQ(s.CStr(), "");
}

TEST(LegacyText, EncodedTextAndPascalStrings) {
    CAppEncodedText t("Sc\xC3\xA8ne 1");
    EXPECT_EQ(t.Length(), 8u);
    EXPECT_STREQ(t.Text(), "Sc\xC3\xA8ne 1");
    CAppEncodedText bad("\xC0\xAF");
    EXPECT_EQ(bad.Length(), 0u);
    EXPECT_STREQ(bad.Text(), "");

    std::string long300(300, 'x');
    long300[254] = 'y';
    u8 out[256];
    CopyToPascal(long300.c_str(), out, 255);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[255], 'y');
    CopyToPascal(nullptr, out, 255);
    EXPECT_EQ(out[0], 0);

    // A character that does not fit whole is left out.
    std::string name(254, 'a');
    name += "\xC3\xA9";
    ToPascalString(name.c_str(), out, 255);
    EXPECT_EQ(out[0], 254);
    ToPascalString("abc", out, 2);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[2], 'b');
}

TEST(Comparison, CaseInsensitiveEquality) {
    EXPECT_TRUE(TextEqualNoCase("drc", "DRC"));
    EXPECT_TRUE(TextEqualNoCase("Blksize", "blksize"));
    EXPECT_TRUE(TextEqualNoCase("BLKSIZE", "blksize"));
    EXPECT_TRUE(TextEqualNoCase("", nullptr));
    EXPECT_FALSE(TextEqualNoCase("drc", "drd"));
    EXPECT_FALSE(TextEqualNoCase("drc", "dr"));
    EXPECT_FALSE(TextEqualNoCase("e", "\xC3\xA9"));  // accents count
    EXPECT_FALSE(TextEqualNoCase("a-b", "ab"));      // punctuation counts

    EXPECT_TRUE(StrEqualNoCase("", nullptr));
    EXPECT_TRUE(StrEqualNoCase(nullptr, nullptr));
    EXPECT_FALSE(StrEqualNoCase("a", nullptr));
    EXPECT_FALSE(StrEqualNoCase("", "a"));
    EXPECT_TRUE(StrEqualNoCase("tsize", "TSize"));
    EXPECT_FALSE(StrEqualNoCase("tsize", "tsizes"));
}
