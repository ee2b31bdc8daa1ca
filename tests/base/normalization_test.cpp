#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/TextEncoding.h"

namespace {

std::string Nfd(const std::string& s, bool* ok = nullptr) {
    LTextStream out;
    const bool r = DecomposeToNfd(s.c_str(), out);
    if (ok) *ok = r;
    return std::string(out.CStr(), out.Length());
}

std::string Nfc(const std::string& s) {
    LTextStream out;
    EXPECT_TRUE(NormalizeNFC(s.c_str(), out));
    return std::string(out.CStr(), out.Length());
}

std::string Utf8(std::initializer_list<u32> cps) {
    LTextStream s;
    for (u32 c : cps) Utf8Encode(s, c);
    return std::string(s.CStr(), s.Length());
}

// "0044 0307" -> UTF-8
std::string FromHexList(const std::string& field) {
    std::istringstream in(field);
    LTextStream s;
    std::string hex;
    while (in >> hex) Utf8Encode(s, u32(std::stoul(hex, nullptr, 16)));
    return std::string(s.CStr(), s.Length());
}

// Debian ships the file compressed; the build copies it next to the generated tables.
std::string NormalizationTestPath() {
    for (const std::string& p :
         {std::string("/usr/share/unicode/NormalizationTest.txt"),
          std::string(KEVO_BINARY_DIR) + "/generated/NormalizationTest.txt"}) {
        std::ifstream f(p);
        if (f && f.peek() != std::ifstream::traits_type::eof()) return p;
    }
    return {};
}

}  // namespace

TEST(Nfd, HangulIsDecomposedArithmetically) {
    EXPECT_EQ(Nfd(Utf8({0xAC00})), Utf8({0x1100, 0x1161}));
    EXPECT_EQ(Nfd(Utf8({0xAC01})), Utf8({0x1100, 0x1161, 0x11A8}));
    EXPECT_EQ(Nfd(Utf8({0xD7A3})), Utf8({0x1112, 0x1175, 0x11C2}));
    // Just outside the syllable block.
    EXPECT_EQ(Nfd(Utf8({0xABFF, 0xD7A4})), Utf8({0xABFF, 0xD7A4}));
}

TEST(Nfd, AccentsAndOrdering) {
    EXPECT_EQ(Nfd("\xC3\xA9"), "e\xCC\x81");
    EXPECT_EQ(Nfd("plain ascii/name.drc"), "plain ascii/name.drc");
    EXPECT_EQ(Nfd(""), "");
    // Marks are put in canonical order, stable within a class.
    EXPECT_EQ(Nfd(Utf8({'a', 0x0301, 0x0323})), Utf8({'a', 0x0323, 0x0301}));
    EXPECT_EQ(Nfd(Utf8({'a', 0x0301, 0x0300})), Utf8({'a', 0x0301, 0x0300}));
    // A decomposition's own marks join the marks that follow it.
    EXPECT_EQ(Nfd(Utf8({0x1E69})), Utf8({'s', 0x0323, 0x0307}));
    EXPECT_EQ(Nfd(Utf8({0x1E0B, 0x0323})), Utf8({'d', 0x0323, 0x0307}));
    // Supplementary characters with decompositions held as surrogate pairs.
    EXPECT_EQ(Nfd(Utf8({0x1D15E})), Utf8({0x1D157, 0x1D165}));
    // Plane 16 is passed through unchanged.
    EXPECT_EQ(Nfd(Utf8({0x10FFFD})), Utf8({0x10FFFD}));
}

TEST(Nfd, ComposedAndDecomposedNamesCompareEqual) {
    const std::string composed = "Caf\xC3\xA9 Sc\xC3\xA8ne.wav";
    const std::string decomposed = "Cafe\xCC\x81 Sce\xCC\x80ne.wav";
    ASSERT_NE(composed, decomposed);
    EXPECT_EQ(StrCompare(Nfd(composed).c_str(), Nfd(decomposed).c_str()), 0);
    EXPECT_NE(StrCompare(Nfd(composed).c_str(), Nfd("Cafe Scene.wav").c_str()), 0);
}

TEST(Nfd, MalformedInputFailsWithWhatCameBefore) {
    bool ok = true;
    // An overlong "/" must not turn into a path separator.
    EXPECT_EQ(Nfd("a\xC0\xAF"
                  "b",
                  &ok),
              "a");
    EXPECT_FALSE(ok);
    EXPECT_EQ(Nfd("x\xED\xA0\x80", &ok), "x");
    EXPECT_FALSE(ok);
    Nfd("\xC3", &ok);
    EXPECT_FALSE(ok);
    Nfd("\xC3\xA9", &ok);
    EXPECT_TRUE(ok);
    // Different bytes never decompose to the same name.
    EXPECT_NE(Nfd("a\xC0\xAF"
                  "b"),
              Nfd("a/b"));
}

TEST(Nfc, ComposesAndKeepsInvalidTextUnchanged) {
    EXPECT_EQ(Nfc("e\xCC\x81"), "\xC3\xA9");
    EXPECT_EQ(Nfc(Utf8({0x1100, 0x1161, 0x11A8})), Utf8({0xAC01}));
    EXPECT_EQ(Nfc("name.wav"), "name.wav");
    EXPECT_EQ(Nfc(""), "");
    EXPECT_EQ(Nfc("bad\xFF"), "bad\xFF");
}

// Every case of Unicode's conformance file, for the decomposition we carry and the
// composition of the platform.
TEST(NormalizationConformance, UnicodeTestFile) {
    const std::string path = NormalizationTestPath();
    ASSERT_FALSE(path.empty()) << "NormalizationTest.txt not found (package unicode-data)";
    std::ifstream in(path);
    std::string line;
    u32 cases = 0, failures = 0;
    bool part1 = false;
    std::set<u32> listedInPart1;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '@') {
            part1 = line.rfind("@Part1", 0) == 0;
            continue;
        }
        std::vector<std::string> cols;
        std::istringstream fields(line);
        std::string f;
        while (cols.size() < 5 && std::getline(fields, f, ';')) cols.push_back(FromHexList(f));
        ASSERT_EQ(cols.size(), 5u) << line;
        if (part1) listedInPart1.insert(u32(std::stoul(line, nullptr, 16)));
        ++cases;
        bool ok = true;
        for (int i = 0; i < 3; ++i) ok = ok && Nfd(cols[i]) == cols[2] && Nfc(cols[i]) == cols[1];
        for (int i = 3; i < 5; ++i) ok = ok && Nfd(cols[i]) == cols[4] && Nfc(cols[i]) == cols[3];
        if (!ok && ++failures <= 10) ADD_FAILURE() << "case: " << line;
    }
    EXPECT_GT(cases, 10000u) << path;
    EXPECT_EQ(failures, 0u);

    // Characters the file does not list under @Part1 are their own decomposition.
    ASSERT_GT(listedInPart1.size(), 1000u);
    u32 changed = 0;
    for (u32 cp = 1; cp <= 0x10FFFF; ++cp) {
        if ((cp >= 0xD800 && cp <= 0xDFFF) || listedInPart1.count(cp)) continue;
        const std::string s = Utf8({cp});
        if (Nfd(s) != s && ++changed <= 10) ADD_FAILURE() << "U+" << std::hex << cp;
    }
    EXPECT_EQ(changed, 0u);
}
