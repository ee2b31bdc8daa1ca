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

std::string Encoded(u32 cp) {
    LTextStream s;
    Utf8Encode(s, cp);
    return std::string(s.CStr(), s.Length());
}

}  // namespace

TEST(Utf8Char, ReadsWellFormedCharacters) {
    EXPECT_EQ(ReadOne("\xC3\xA9").result, kUtf8Ok);
    EXPECT_EQ(ReadOne("\xC3\xA9").cp, 0xE9u);
    EXPECT_EQ(ReadOne("A").cp, 0x41u);
    EXPECT_EQ(ReadOne("\xC2\x80").cp, 0x80u);
    EXPECT_EQ(ReadOne("\xDF\xBF").cp, 0x7FFu);
    EXPECT_EQ(ReadOne("\xE0\xA0\x80").cp, 0x800u);
    EXPECT_EQ(ReadOne("\xEF\xBF\xBF").cp, 0xFFFFu);
    EXPECT_EQ(ReadOne("\xF0\x90\x80\x80").cp, 0x10000u);
    EXPECT_EQ(ReadOne("\xF4\x8F\xBF\xBF").cp, 0x10FFFFu);
    EXPECT_EQ(ReadOne("").result, kUtf8End);
}

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

TEST(Utf8Char, ByteAfterBrokenSequenceIsReadNext) {
    const std::string text =
        "\xC3"
        "A";
    LMemReader reader(text.data(), u32(text.size()));
    u32 cp = 0;
    EXPECT_EQ(ReadUtf8Char(reader, &cp), kUtf8Malformed);
    EXPECT_EQ(ReadUtf8Char(reader, &cp), kUtf8Ok);
    EXPECT_EQ(cp, u32('A'));
    EXPECT_EQ(ReadUtf8Char(reader, &cp), kUtf8End);
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

TEST(Utf8Char, EncodeForms) {
    EXPECT_EQ(Encoded(0x7F), "\x7F");
    EXPECT_EQ(Encoded(0xE9), "\xC3\xA9");
    EXPECT_EQ(Encoded(0x20AC), "\xE2\x82\xAC");
    EXPECT_EQ(Encoded(0x10FFFF), "\xF4\x8F\xBF\xBF");
    LTextStream s;
    EXPECT_FALSE(Utf8Encode(s, 0xD800));
    EXPECT_FALSE(Utf8Encode(s, 0xDFFF));
    EXPECT_FALSE(Utf8Encode(s, 0x110000));
    EXPECT_EQ(s.Length(), 0u);
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

TEST(Conversions, Utf8ToUtf16AndBack) {
    LDataBuf buf;
    ASSERT_TRUE(Utf8CStrToUtf16Buf("a\xC3\xA9\xF0\x9F\x98\x80", buf));
    ASSERT_EQ(buf.Capacity(), 8u);
    const u16* u = reinterpret_cast<const u16*>(buf.Data());
    EXPECT_EQ(u[0], 0x61);
    EXPECT_EQ(u[1], 0xE9);
    EXPECT_EQ(u[2], 0xD83D);
    EXPECT_EQ(u[3], 0xDE00);

    LString s;
    StringFromUtf16(&s, u, 4);
    EXPECT_STREQ(s.CStr(), "a\xC3\xA9\xF0\x9F\x98\x80");

    // The length counts, zero bytes included.
    ASSERT_TRUE(Utf8ToUtf16Buf("ab\0c", 4, buf));
    EXPECT_EQ(buf.Capacity(), 8u);
}

TEST(Conversions, InvalidSourceLeavesBufferAlone) {
    LDataBuf buf;
    ASSERT_TRUE(Utf8CStrToUtf16Buf("xyz", buf));
    EXPECT_FALSE(Utf8CStrToUtf16Buf("bad \xC0\xAF", buf));
    EXPECT_FALSE(Utf8CStrToUtf16Buf("bad \xED\xA0\x80", buf));
    ASSERT_EQ(buf.Capacity(), 6u);
    EXPECT_EQ(reinterpret_cast<const u16*>(buf.Data())[2], u16('z'));

    LDataBuf app;
    ASSERT_TRUE(Utf8ToAppEncodingBuf("ok", app));
    EXPECT_FALSE(Utf8ToAppEncodingBuf("\xFF", app));
    EXPECT_EQ(app.Capacity(), 2u);
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

TEST(Comparison, LocaleOrder) {
    EXPECT_LT(TextCompareLocale("a", "b"), 0);
    EXPECT_GT(TextCompareLocale("b", "A"), 0);
    EXPECT_EQ(TextCompareLocale("", nullptr), 0);
    EXPECT_LT(TextCompareLocale("", "a"), 0);
    EXPECT_EQ(TextCompareLocale("Show", "Show"), 0);
    // Collation, not byte order: "\xC3\xA9" (U+00E9) sorts between e and f.
    EXPECT_LT(TextCompareLocale("e", "\xC3\xA9"), 0);
    EXPECT_LT(TextCompareLocale("\xC3\xA9", "f"), 0);

    Utf16Text t("h\xC3\xA9llo");
    EXPECT_EQ(t.Count(), 5u);
    t.Assign("");
    EXPECT_EQ(t.Count(), 0u);
}
