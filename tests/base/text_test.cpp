#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "base/CMemStrm.h"
#include "base/CharReader.h"
#include "base/LHandle.h"
#include "base/TextFormat.h"

namespace {

std::string S(const LString& s) {
    return std::string(s.CStr(), s.Length());
}

std::string Hex(u64 v, bool prefix, bool upper, u32 digits) {
    LString s;
    return S(HexToStr(&s, v, prefix, upper, digits));
}
std::string Flt(u32 decimals, double v) {
    LString s;
    return S(FloatToStr(&s, decimals, v));
}
std::string Code(u32 code) {
    LString s;
    return S(OSTypeToString(&s, code));
}

// Reads everything a scanner call leaves behind.
std::string Rest(LCharReader& r) {
    std::string out;
    u8 c;
    while (r.GetChar(&c)) out += char(c);
    return out;
}

}  // namespace

TEST(TextFormat, Template) {
    const char* items[] = {"a", "b"};
    LString s;
    EXPECT_EQ(S(FormatTemplate(&s, "%1-%0 100%% %7!", 2, items)), "b-a 100% !");
    EXPECT_EQ(S(FormatTemplate(&s, "end%", 2, items)), "end");
    EXPECT_EQ(S(FormatTemplate(&s, "%!x", 2, items)), "x");
    EXPECT_EQ(S(FormatTemplate(&s, nullptr, 2, items)), "");
    const char* many[12] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "ten", "eleven"};
    EXPECT_EQ(S(FormatTemplate(&s, "%9%:%;", 12, many)), "9teneleven");
}

TEST(TextFormat, Parsers) {
    EXPECT_EQ(StrToLong(nullptr), 0);
    EXPECT_EQ(StrToLong("  -42x"), -42);
    EXPECT_EQ(StrToLong("+7"), 7);
    EXPECT_EQ(StrToLong("abc"), 0);
    EXPECT_EQ(StrToLong("99999999999999999999999"), LONG_MAX);
    EXPECT_EQ(StrToLong("-9223372036854775808"), LONG_MIN);
    EXPECT_EQ(StrToLong("-99999999999999999999999"), LONG_MIN);
    EXPECT_EQ(StrToULongLong("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(StrToULongLong("18446744073709551616"), UINT64_MAX);
    EXPECT_EQ(StrToULongLong("-1"), 0u);
    EXPECT_EQ(StrToULongLong(" 12 "), 12u);
    EXPECT_EQ(StrToDouble("1.5"), 1.5);
    EXPECT_EQ(StrToDouble(" -2.25e2x"), -225.0);
    EXPECT_EQ(StrToDouble("+.5"), 0.5);
    EXPECT_EQ(StrToDouble("1e400"), HUGE_VAL);
    EXPECT_EQ(StrToDouble("-1e400"), -HUGE_VAL);
    EXPECT_EQ(StrToDouble("1e-400"), 0.0);
    EXPECT_EQ(StrToDouble("0.000000000000000000000000000000000000001e-300"), 0.0);
    EXPECT_EQ(StrToDouble("9e04888888888888888888888"), HUGE_VAL);
    EXPECT_EQ(StrToDouble("--1"), 0.0);
    EXPECT_EQ(StrToDouble("x"), 0.0);
    EXPECT_EQ(StrToDouble(nullptr), 0.0);
}

TEST(TextFormat, Ipv4) {
    u32 a = 1;
    EXPECT_TRUE(Ipv4FromString("10.0.0.1", &a));
    EXPECT_EQ(a, 0x0A000001u);
    EXPECT_TRUE(Ipv4FromString("0.0.0.0", &a));
    EXPECT_EQ(a, 0u);
    EXPECT_TRUE(Ipv4FromString("255.255.255.255", &a));
    EXPECT_EQ(a, 0xFFFFFFFFu);
    for (const char* bad :
         {"10.1", "10.0.1", "1.2.3.4.5", "010.0.0.1", "0x1.2.3.4", "256.0.0.1", "1.2.3.4 ",
          " 1.2.3.4", "1..2.3", "1.2.3.", "", "localhost", "1.2.3.0004", "-1.2.3.4"}) {
        a = 1;
        EXPECT_FALSE(Ipv4FromString(bad, &a)) << bad;
        EXPECT_EQ(a, 0u) << bad;
    }
    EXPECT_FALSE(Ipv4FromString(nullptr, &a));
    LString s;
    EXPECT_EQ(S(Ipv4ToString(&s, 0xC0A80164)), "192.168.1.100");
    EXPECT_EQ(S(Ipv4ToString(&s, 0)), "0.0.0.0");
}

// Everything stored or sent as text must read the same under a decimal-comma locale.
TEST(TextFormat, IndependentOfLocale) {
    const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
    ASSERT_NE(set, nullptr) << "the de_DE.UTF-8 locale is missing: run scripts/deps.sh";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the German locale is not in effect";

    EXPECT_EQ(Flt(3, 2.5), "2.5");
    EXPECT_EQ(Flt(2, -1234.25), "-1234.25");
    LString s;
    EXPECT_EQ(S(FloatToStrFixed(&s, 2, 1.5)), "1.50");
    EXPECT_EQ(StrToDouble("1.5"), 1.5);
    EXPECT_EQ(StrToDouble("1,5"), 1.0);
    EXPECT_EQ(Hex(0xBEEF, true, true, 6), "0x00BEEF");
    EXPECT_EQ(S(NumToStr(&s, -1234567)), "-1234567");
    EXPECT_EQ(Code(FourCC("\xe4"
                          "b  ")),
              "\xe4"
              "b");
    EXPECT_EQ(StrToFourCharCode("\xe4"), 0xE4202020u);
    // Byte 0xA0 is a blank in some 8-bit locales; here it is a character.
    EXPECT_EQ(Code(0xA0414141),
              "\xa0"
              "AAA");
    LMemReader r("\xa0 -42;", 7);
    i32 v = 0;
    EXPECT_FALSE(ReaderReadInt(r, &v));
    LMemReader r2(" \n\t+1234567,5", 13);
    EXPECT_TRUE(ReaderReadInt(r2, &v));
    EXPECT_EQ(v, 1234567);
    EXPECT_EQ(Rest(r2), ",5");
    std::setlocale(LC_ALL, "C");
}

TEST(CharReader, MemoryAndStringReaders) {
    const char bytes[] = {'a', 'b', 0, 'c'};
    LMemReader r(bytes, 4);
    u8 c;
    r.Unget();  // never before the start
    ASSERT_TRUE(r.GetChar(&c));
    EXPECT_EQ(c, 'a');
    r.Unget();
    r.Unget();
    EXPECT_EQ(Rest(r), "ab");
    EXPECT_FALSE(r.GetChar(&c));  // the zero byte ends the text and stays
    EXPECT_EQ(c, 0);
    char block[8];
    EXPECT_EQ(r.ReadBlock(block, 8), 2u);  // ReadBlock passes zeros
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[1], 'c');
    EXPECT_EQ(r.ReadBlock(block, 8), 0u);

    LMemReader empty(nullptr, 5);
    EXPECT_FALSE(empty.GetChar(&c));
    EXPECT_EQ(empty.ReadBlock(block, 8), 0u);

    LStrReader* sr;
    {
        LString s("xyz");
        sr = new LStrReader(s);
    }
    EXPECT_EQ(Rest(*sr), "xyz");
    delete sr;

    LMemReader r3("hello", 5);
    EXPECT_EQ(ReaderReadBlockByChars(r3, block, 3), 3u);
    EXPECT_EQ(ReaderReadBlockByChars(r3, block, 8), 2u);
    EXPECT_EQ(std::string(block, 2), "lo");
}

TEST(CharReader, Utf8StreamReaderSkipsOnlyAMark) {
    u8 withBom[] = {0xEF, 0xBB, 0xBF, 0x41, 0x42};
    CMemStrm s1(withBom, sizeof withBom);
    CUtf8TextReader r1(&s1);
    EXPECT_EQ(Rest(r1), "AB");

    u8 plain[] = {0x41, 0x42, 0x43};
    CMemStrm s2(plain, sizeof plain);
    CUtf8TextReader r2(&s2);
    u8 c;
    ASSERT_TRUE(r2.GetChar(&c));
    EXPECT_EQ(c, 0x41);
    r2.Unget();
    EXPECT_EQ(Rest(r2), "ABC");

    u8 partial[] = {0xEF, 0xBB};
    CMemStrm s3(partial, sizeof partial);
    CUtf8TextReader r3(&s3);
    char block[4];
    EXPECT_EQ(r3.ReadBlock(block, 4), 2u);
    EXPECT_EQ(u8(block[0]), 0xEF);

    // A mark further on is text.
    u8 later[] = {0x20, 0xEF, 0xBB, 0xBF};
    CMemStrm s4(later, sizeof later);
    s4.SetPosition(1);
    CUtf8TextReader r4(&s4);
    EXPECT_EQ(s4.Position(), 4u);
}

TEST(CharReader, CopyStreamPassesEverything) {
    std::string big;
    for (int i = 0; i < 5000; ++i) big += char('a' + i % 26);
    LMemReader r(big.data(), u32(big.size()));
    LTextStream t;
    CopyStream(r, t);
    EXPECT_EQ(std::string(t.CStr(), t.Length()), big);
}

TEST(Scanner, Fields) {
    for (bool consume : {true, false}) {
        LMemReader r("  x  y  ,z", 10);
        LTextStream t;
        EXPECT_TRUE(ReaderReadField(r, t, ',', consume));
        EXPECT_STREQ(t.CStr(), "x  y");
        EXPECT_EQ(Rest(r), consume ? "z" : ",z");
    }
    LMemReader r("\t a b \t\r\nnext", 13);
    LTextStream t;
    EXPECT_TRUE(ReaderReadField(r, t, ';', true));
    EXPECT_STREQ(t.CStr(), "a b");
    EXPECT_EQ(Rest(r), "\r\nnext");
    LMemReader blank("   ;", 4);
    LTextStream t2;
    EXPECT_FALSE(ReaderReadField(blank, t2, ';', true));
    EXPECT_EQ(t2.Length(), 0u);
    // Many inner blanks are all kept.
    std::string wide = "a" + std::string(200, ' ') + "b   ";
    LMemReader w(wide.data(), u32(wide.size()));
    LTextStream t3;
    EXPECT_TRUE(ReaderReadField(w, t3, ',', true));
    EXPECT_EQ(std::string(t3.CStr()), wide.substr(0, 202));
}

TEST(Scanner, Integers) {
    i32 v = 99;
    LMemReader a(" \n -42;", 7);
    EXPECT_TRUE(ReaderReadInt(a, &v));
    EXPECT_EQ(v, -42);
    EXPECT_EQ(Rest(a), ";");
    LMemReader b("12x", 3);
    EXPECT_TRUE(ReaderReadInt(b, &v));
    EXPECT_EQ(v, 12);
    EXPECT_EQ(Rest(b), "x");
    LMemReader c("-x", 2);
    EXPECT_FALSE(ReaderReadInt(c, &v));
    EXPECT_EQ(v, 0);
    EXPECT_EQ(Rest(c), "x");
    LMemReader d("+", 1);
    EXPECT_FALSE(ReaderReadInt(d, &v));
    LMemReader e("+-+7 8", 6);
    EXPECT_TRUE(ReaderReadInt(e, &v));
    EXPECT_EQ(v, -7);
    EXPECT_EQ(Rest(e), " 8");
    LMemReader f("5-3", 3);
    EXPECT_TRUE(ReaderReadInt(f, &v));
    EXPECT_EQ(v, 5);
    EXPECT_EQ(Rest(f), "-3");

    // Out of range saturates instead of wrapping.
    struct {
        const char* text;
        i32 want;
    } cases[] = {{"2147483647", INT32_MAX},
                 {"2147483648", INT32_MAX},
                 {"99999999999999999999", INT32_MAX},
                 {"-2147483648", INT32_MIN},
                 {"-2147483649", INT32_MIN},
                 {"-99999999999999999999", INT32_MIN},
                 {"4294967297", INT32_MAX}};
    for (const auto& k : cases) {
        LMemReader r(k.text, StrLen(k.text));
        EXPECT_TRUE(ReaderReadInt(r, &v)) << k.text;
        EXPECT_EQ(v, k.want) << k.text;
    }

    LMemReader g("\n5", 2);
    EXPECT_FALSE(ReaderReadIntInLine(g, &v));
    EXPECT_EQ(Rest(g), "\n5");
    LMemReader h(" \t7\n", 4);
    EXPECT_TRUE(ReaderReadIntInLine(h, &v));
    EXPECT_EQ(v, 7);
}

TEST(Scanner, WordsNumbersAndLines) {
    LMemReader r("  alpha beta\n", 13);
    LTextStream t;
    EXPECT_TRUE(ReaderReadWord(r, t));
    EXPECT_STREQ(t.CStr(), "alpha");
    EXPECT_EQ(ReaderReadNonBlank(r), 'b');
    LTextStream none;
    LMemReader eol("  \nx", 4);
    EXPECT_FALSE(ReaderReadWord(eol, none));
    EXPECT_EQ(Rest(eol), "\nx");
    LMemReader empty("", 0);
    EXPECT_EQ(ReaderReadNonBlank(empty), 0);

    struct {
        const char* text;
        const char* number;
        const char* rest;
    } nums[] = {{" -12.5.3", "-12.5", ".3"},
                {"+-.5e3", "+-.5", "e3"},
                {"7-1", "7", "-1"},
                {".-", ".", "-"},
                {"x", "", "x"}};
    for (const auto& k : nums) {
        LMemReader n(k.text, StrLen(k.text));
        LTextStream nt;
        ReaderReadNumberText(n, nt);
        EXPECT_STREQ(nt.CStr(), k.number) << k.text;
        EXPECT_EQ(Rest(n), k.rest) << k.text;
    }

    LMemReader lines("one\r\ntwo\n\nthree", 16);
    LString line;
    std::string seen;
    while (ReaderReadLine(lines, &line)) seen += "[" + S(line) + "]";
    EXPECT_EQ(seen, "[one][two][][three]");
}
