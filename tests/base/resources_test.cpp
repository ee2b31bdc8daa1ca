#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/Resources.h"

namespace {

std::string S(const LString& s) {
    return std::string(s.View());
}

void PutU32(std::string* out, u32 v) {
    for (int s = 24; s >= 0; s -= 8) out->push_back(char(v >> s));
}

// An archive of resources given as (type, name, bytes).
std::string Archive(const std::vector<std::tuple<u32, std::string, std::string>>& res) {
    std::string a = "KVRA";
    PutU32(&a, u32(res.size()));
    for (const auto& [type, name, bytes] : res) {
        PutU32(&a, type);
        PutU32(&a, 0);
        a.push_back(char(name.size() >> 8));
        a.push_back(char(name.size()));
        a += name;
        PutU32(&a, u32(bytes.size()));
        a += bytes;
    }
    return a;
}

u32 Open(const std::string& archive) {
    return OpenResArchive(archive.data(), u32(archive.size()));
}

constexpr u32 kCst = FourCC("CST#");

std::string Item(const LStrListRes& list, u32 n) {
    LString out;
    return S(list.GetItem(&out, n));
}

// A source that records when it was asked.
class RecordingSource : public LResSource {
public:
    RecordingSource(std::string* log, char tag, bool supplies, u32 lang)
        : fLog(log), fTag(tag), fSupplies(supplies), fLang(lang) {}
    bool Load(LResObject&, const LResId*) override {
        fLog->push_back(fTag);
        return fSupplies;
    }
    u32 GetLanguage() override { return fLang; }

private:
    std::string* fLog;
    char fTag;
    bool fSupplies;
    u32 fLang;
};

class ValidImage : public LSharedImage {
public:
    bool IsValid() const override { return true; }
};

}  // namespace

TEST(ResourcesTest, StringListReadsOnlyInsideItsBytes) {
    // count 3: "a", "", "bc"; read out of order.
    u32 ref =
        Open(Archive({{kCst, "L", std::string("\0\3a\0\0bc\0", 8)},
                      // The count claims five items; two are present and the last lacks its zero.
                      {kCst, "SHORT", std::string("\0\5x\0yz", 6)},
                      {kCst, "ONEBYTE", std::string("\7", 1)},
                      {kCst, "EMPTY", ""}}));
    ASSERT_NE(ref, 0u);
    LResFile file(ref);
    LResId id{0, "L"};
    LStrListRes list(&id, &file, kCst);
    EXPECT_EQ(Item(list, 2), "bc");
    EXPECT_EQ(Item(list, 0), "a");
    EXPECT_EQ(Item(list, 1), "");
    EXPECT_EQ(Item(list, 3), "");

    LResId shortId{0, "SHORT"};
    LStrListRes shortList(&shortId, &file, kCst);
    EXPECT_EQ(shortList.Count(), 5u);
    EXPECT_EQ(Item(shortList, 1), "yz");
    EXPECT_EQ(Item(shortList, 2), "");
    EXPECT_EQ(Item(shortList, 4), "");
    EXPECT_EQ(Item(shortList, 0), "x");
    EXPECT_EQ(Item(shortList, 3), "");

    for (const char* name : {"ONEBYTE", "EMPTY"}) {
        LResId tiny{0, name};
        LStrListRes t(&tiny, &file, kCst);
        EXPECT_EQ(t.Count(), 0u);
        EXPECT_EQ(Item(t, 0), "");
    }
    CloseResArchive(ref);
}

TEST(ResourcesTest, MalformedArchivesAreRefused) {
    std::string good = Archive({{kCst, "L", std::string("\0\1a\0", 4)}});
    ASSERT_NE(Open(good), 0u);
    for (size_t cut = 0; cut < good.size(); cut++) EXPECT_EQ(Open(good.substr(0, cut)), 0u) << cut;
    std::string badMagic = good;
    badMagic[0] = 'X';
    EXPECT_EQ(Open(badMagic), 0u);
    std::string hugeLength = good;
    hugeLength[hugeLength.size() - 5] = char(0x7F);
    EXPECT_EQ(Open(hugeLength), 0u);
}

TEST(ResourcesTest, BlocksAndLookupByNumber) {
    std::string a = "KVRA";
    PutU32(&a, 2);
    PutU32(&a, FourCC("TRAW"));
    PutU32(&a, 128);
    a += std::string("\0\0", 2);
    PutU32(&a, 3);
    a += "xyz";
    PutU32(&a, FourCC("TRAW"));
    PutU32(&a, 0);
    a += std::string("\0\4name", 6);
    PutU32(&a, 2);
    a += "nm";
    u32 ref = Open(a);
    ASSERT_NE(ref, 0u);
    LResFile file(ref);
    LResId byNumber{128, nullptr};
    LResBlock block(&byNumber, &file, FourCC("TRAW"));
    ASSERT_EQ(block.Size(), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.Data()), 3), "xyz");
    LResId byName{0, "name"};
    LResBlock named(&byName, &file, FourCC("TRAW"));
    EXPECT_EQ(named.Size(), 2u);
    LResId missing{0, "nope"};
    LResBlock none(&missing, &file, FourCC("TRAW"));
    EXPECT_EQ(none.Size(), 0u);
    LResId noNumber{7, nullptr};
    EXPECT_EQ(LResBlock(&noNumber, &file, FourCC("TRAW")).Size(), 0u);

    // The current file is restored after a load through another file.
    u32 before = CurResFile();
    LResBlock again(&byNumber, &file, FourCC("TRAW"));
    EXPECT_EQ(CurResFile(), before);
    CloseResArchive(ref);
}

TEST(ResourcesTest, ChainAsksTheLastSourceFirst) {
    std::string log;
    RecordingSource a(&log, 'A', true, kResLangUS), b(&log, 'B', true, kResLangJP);
    LResChain chain;
    chain.AddSource(&a);
    chain.AddSource(nullptr);
    chain.AddSource(&b);
    LResId id{0, "X"};
    LResBlock block(&id, &chain, FourCC("TRAW"));
    EXPECT_EQ(log, "B");

    log.clear();
    RecordingSource c(&log, 'C', false, kResLangUS);
    chain.AddSource(&c);
    LResBlock second(&id, &chain, FourCC("TRAW"));
    EXPECT_EQ(log, "CB");
    EXPECT_EQ(chain.GetLanguage(), kResLangJP);

    LResChain empty;
    EXPECT_EQ(empty.GetLanguage(), kResLangUS);
    EXPECT_FALSE(empty.Load(block, &id));
}

TEST(ResourcesTest, DefaultChainAndSharedLists) {
    LResId id{0, "KVTEST"};
    SetDefaultResChain(nullptr);
    LStrListRes nothing(&id, nullptr, kCst);
    EXPECT_EQ(nothing.Count(), 0u);

    LResFile system(0), app(AppResFileRef());
    LResChain chain;
    chain.AddSource(&system);
    chain.AddSource(&app);
    SetDefaultResChain(&chain);

    LStrListHolder holder, other;
    LStrListResRef::InitNull(&holder);
    LString out;
    EXPECT_EQ(S(LStrListRes::GetSharedItem(&out, holder, 0)), "");
    EXPECT_EQ(LStrListRes::Count(holder), 0u);
    LStrListRes::Open(&holder, &id, nullptr, kCst);
    EXPECT_EQ(LStrListRes::Count(holder), 4u);
    EXPECT_EQ(S(LStrListRes::GetSharedItem(&out, holder, 2)), "bc");
    LStrListResRef::Assign(&other, holder);
    EXPECT_EQ(holder->RefCount(), 2);
    holder.Reset();
    EXPECT_EQ(S(LStrListRes::GetSharedItem(&out, other, 0)), "a");
    SetDefaultResChain(nullptr);
}

TEST(ResourcesTest, SharedImages) {
    TRef<LSharedImage> ref;
    LSharedImage* invalid = new LSharedImage;
    invalid->Retain();
    LSharedImage::InitRef(&ref, invalid);
    EXPECT_NE(ref.Get(), invalid);
    TRef<LSharedImage> empty;
    LSharedImage::InitEmptyRef(&empty);
    EXPECT_EQ(ref.Get(), empty.Get());
    EXPECT_FALSE(ref->IsValid());
    invalid->Release();

    LSharedImage::InitRef(&ref, nullptr);
    EXPECT_EQ(ref.Get(), empty.Get());
    auto* valid = new ValidImage;
    LSharedImage::InitRef(&ref, valid);
    EXPECT_EQ(ref.Get(), valid);
    // The empty image survives every holder.
    empty.Reset();
    ref.Reset();
    LSharedImage::InitEmptyRef(&empty);
    EXPECT_GE(empty->RefCount(), 2);
}

TEST(ResourcesTest, ResourceLanguageFromTheEnvironment) {
    EXPECT_EQ(CPrefLocale("ja_JP.UTF-8").GetResLanguage(), kResLangJP);
    EXPECT_EQ(CPrefLocale("ja").GetResLanguage(), kResLangJP);
    EXPECT_EQ(CPrefLocale("en").GetResLanguage(), kResLangUS);
    EXPECT_EQ(CPrefLocale("de_DE@euro").GetResLanguage(), kResLangUS);
    EXPECT_EQ(CPrefLocale("C").GetResLanguage(), kResLangUS);
    EXPECT_TRUE(CPrefLocale("POSIX.UTF-8").IsNull());
    EXPECT_TRUE(CPrefLocale(nullptr).IsNull());
    EXPECT_EQ(CPrefLocale::Match(CPrefLocale("ja_JP"), CPrefLocale("ja")), 4u);
    EXPECT_EQ(CPrefLocale::Match(CPrefLocale("sr_RS@latin"), CPrefLocale("sr_RS")), 3u);
    EXPECT_EQ(CPrefLocale::Match(CPrefLocale("de"), CPrefLocale("en_GB")), 1u);
    EXPECT_EQ(CPrefLocale::Match(CPrefLocale("de"), CPrefLocale("ja")), 0u);

    for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(v);
    EXPECT_TRUE(CPrefLocale().IsNull());
    EXPECT_EQ(CPrefLocale().GetResLanguage(), kResLangUS);
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(CPrefLocale().GetResLanguage(), kResLangJP);
    setenv("LC_MESSAGES", "en_US.UTF-8", 1);
    EXPECT_EQ(CPrefLocale().GetResLanguage(), kResLangUS);
    setenv("LC_ALL", "", 1);
    setenv("LANGUAGE", "::ja:en", 1);
    EXPECT_EQ(CPrefLocale().GetResLanguage(), kResLangJP);
    EXPECT_EQ(S(CPrefLocale().Language()), "ja");
    for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(v);
}

namespace {

struct ToolRun {
    int status;
    std::string output;
};

ToolRun RunRespack(const std::string& dir, const std::string& file, const std::string& text) {
    std::string src = dir + "/" + file;
    std::ofstream(src, std::ios::binary) << text;
    std::string cmd = std::string(KEVO_BINARY_DIR) + "/tools/respack/respack '" + dir +
                      "/out.cpp' kSym '" + src + "' 2>&1";
    ToolRun r{0, ""};
    FILE* p = popen(cmd.c_str(), "r");
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
    r.status = pclose(p);
    return r;
}

}  // namespace

TEST(ResourcePackerTest, RejectsMalformedSourcesWithFileAndLine) {
    char tmpl[] = "/tmp/kvrespack-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    struct Case {
        const char* file;
        std::string text;
        const char* where;
    } cases[] = {
        {"A.cst", "stray text\n=== 0\n", "A.cst:1:"},
        {"B.cst", "# c\n=== 0\nx\n=== 2\n", "B.cst:4:"},
        {"C.cst", "=== 0\nok\nbad \xC3\x28\n", "C.cst:3:"},
        {"D.tlyo", "=== 0\n===\n", "D.tlyo:2:"},
        {"E.cst", std::string("=== 0\na\0b\n", 10), "E.cst:2:"},
        {"F.tmnu", "=== 0\na\rb\n", "F.tmnu:2:"},
        {"G.png", "not a png", "G.png:1:"},
        {"H.txt", "=== 0\n", "H.txt:1:"},
    };
    for (const auto& c : cases) {
        ToolRun r = RunRespack(dir, c.file, c.text);
        EXPECT_NE(r.status, 0) << c.file;
        EXPECT_NE(r.output.find(std::string(dir) + "/" + c.where), std::string::npos) << r.output;
        EXPECT_NE(access((dir + "/out.cpp").c_str(), F_OK), 0) << c.file;
    }
    ToolRun ok = RunRespack(dir, "OK.cst", "=== 0 first\r\na\r\n=== 1\n\\\\=== x\n\n");
    EXPECT_EQ(ok.status, 0) << ok.output;
    std::ifstream in(dir + "/out.cpp");
    std::string cpp;
    for (std::string line; std::getline(in, line);) cpp += line;
    // The item bytes "\=== x\n" follow "a\0" in the packed list.
    EXPECT_NE(cpp.find("97,0,92,61,61,61,32,120,10,0,"), std::string::npos) << cpp;
    std::system(("rm -rf '" + dir + "'").c_str());
}
