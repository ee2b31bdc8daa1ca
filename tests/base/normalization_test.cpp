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
