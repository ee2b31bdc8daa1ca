// XML text of records: layout, escaping, and well-formedness checked by xmllint.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/CMemStrm.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/RecordXml.h"
#include "records/ShowKinds.h"

namespace {

using namespace RecField;
constexpr u32 kFam = FourCC("XTST");

enum : u8 {
    xI,
    xU,
    xB,
    xF,
    xText,
    xByts,
    xStrs,
    xInts,
    xFlts,
    xLong,
    xWork,
    xMust,
    xOpt,
    xLate,
    xItms,
    xCount
};
const RecFieldDesc kItem[] = {U32(FourCC("sqid")), Str(FourCC("name"))};
const RecFieldDesc kRoot[] = {
    I32(FourCC("ival"), 5),
    U32(FourCC("uval")),
    U8(FourCC("bval")),
    F32(FourCC("fval"), 1.0f, 2),
    Str(FourCC("text")),
    Array(FourCC("byts"), kRecU8),
    Array(FourCC("strs"), kRecString),
    Array(FourCC("ints"), kRecI32),
    Array(FourCC("flts"), kRecF32, 2),
    Str(FourCC("long")),
    U32(0, 0),
    Child(FourCC("must"), kFam, FourCC("ITEM")),
    Child(FourCC("opt "), kFam, FourCC("ITEM"), kRecOptional),
    U32(FourCC("late")),
    List(FourCC("itms"), kFam, FourCC("ITEM")),
};
static_assert(sizeof(kRoot) / sizeof(kRoot[0]) == xCount);
CRecordSchema gItem(kFam, FourCC("ITEM"), 2, kItem);
CRecordSchema gRoot(kFam, FourCC("ROOT"), xCount, kRoot);

std::string Xml(const CRecord* r) {
    LDataBuf buf;
    u64 size;
    {
        CMemStrm s(buf);
        EXPECT_TRUE(WriteRecordXml(&s, r));
        size = s.Position();
    }
    return std::string(reinterpret_cast<const char*>(buf.Data()), size_t(size));
}

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// Runs xmllint over the documents; true when every one is well-formed.
bool AllWellFormed(const std::vector<std::string>& docs, std::string* report) {
    char dir[] = "/tmp/kvxmlXXXXXX";
    if (!mkdtemp(dir)) return false;
    std::string cmd = "xmllint --noout";
    std::vector<std::string> files;
    for (size_t i = 0; i < docs.size(); ++i) {
        files.push_back(std::string(dir) + "/d" + std::to_string(i) + ".xml");
        std::ofstream(files.back(), std::ios::binary) << docs[i];
        cmd += " " + files.back();
    }
    const std::string log = std::string(dir) + "/log";
    const int rc = std::system((cmd + " 2>" + log).c_str());
    std::ifstream in(log);
    report->assign(std::istreambuf_iterator<char>(in), {});
    for (const std::string& f : files) std::remove(f.c_str());
    std::remove(log.c_str());
    rmdir(dir);
    return rc == 0;
}

class Xml_ : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
        ASSERT_EQ(std::system("xmllint --version >/dev/null 2>&1"), 0)
            << "xmllint (libxml2-utils) is needed";
    }
};

TEST_F(Xml_, DefaultsChildrenListsAndNulls) {
    CRecord* r = CRecord::New(&gRoot);
    EXPECT_EQ(Xml(r), kDecl + "<XTST_ROOT/>\n");
    EXPECT_EQ(Xml(nullptr), kDecl + "<YUND_UDNL/>\n");

    // An optional child is written even when all default; a scalar after the
    // first child field never is.
    CRecord::Destroy(r->ReplaceChild(nullptr, xOpt, CRecord::New(&gItem)));
    r->SetU32(nullptr, xLate, 9);
    r->SetU32(nullptr, xWork, 9);
    EXPECT_EQ(
        Xml(r),
        kDecl + "<XTST_ROOT>\n<XTST_ROOT_opt>\n<XTST_ITEM/>\n</XTST_ROOT_opt>\n</XTST_ROOT>\n");
    r->RemoveChild(nullptr, xOpt);

    r->GetChild(xMust)->SetU32(nullptr, 0, 3);
    r->InsertItem(nullptr, xItms, 0, nullptr);
    r->SetI32(nullptr, xI, -2);
    r->SetF32(nullptr, xF, 0, 2.5f);
    r->SetU8(nullptr, xB, 200);
    EXPECT_EQ(Xml(r), kDecl +
                          "<XTST_ROOT ival=\"-2\" bval=\"200\" fval=\"2.5\">\n"
                          "<XTST_ROOT_must>\n<XTST_ITEM sqid=\"3\"/>\n</XTST_ROOT_must>\n"
                          "<XTST_ROOT_itms>\n<YUND_UDNL/>\n</XTST_ROOT_itms>\n"
                          "</XTST_ROOT>\n");
    CRecord::Destroy(r);
}

TEST_F(Xml_, ArraysAndStrings) {
    CRecord* r = CRecord::New(&gRoot);
    const u8 bytes[2] = {1, 171};
    r->SetArray(nullptr, xByts, bytes, 2);
    const LString strs[3] = {LString("a b"), LString(""), LString("plain")};
    r->SetArray(nullptr, xStrs, strs, 3);
    const i32 ints[3] = {-1, 0, 7};
    r->SetArray(nullptr, xInts, ints, 3);
    const f32 flts[2] = {0.25f, 3};
    r->SetArray(nullptr, xFlts, flts, 2);
    r->SetString(nullptr, xText, LString("say \"<hi>\" & go\r\nnow"));
    EXPECT_EQ(Xml(r),
              kDecl +
                  "<XTST_ROOT text=\"say &quot;&lt;hi>&quot; &amp; go&#10;now\" byts=\"01ab\" "
                  "strs=\"&quot;a b&quot; '' plain\" ints=\"-1 0 7\" flts=\"0.25 3\"/>\n");

    // Long multi-line text: a CDATA block, unless it holds "]]>".
    const std::string block = "line one of a text\nline two of the same text";
    ASSERT_GT(block.size(), 32u);
    CRecord* t = CRecord::New(&gRoot);
    t->SetString(nullptr, xLong, LString(std::string_view(block)));
    t->SetI32(nullptr, xI, 1);
    EXPECT_EQ(Xml(t), kDecl + "<XTST_ROOT ival=\"1\">\n<XTST_ROOT_long><![CDATA[" + block +
                          "]]></XTST_ROOT_long>\n</XTST_ROOT>\n");
    const std::string closing = "line one ]]> of a text\nline two, and more";
    t->SetString(nullptr, xLong, LString(std::string_view(closing)));
    EXPECT_EQ(
        Xml(t),
        kDecl + "<XTST_ROOT ival=\"1\" long=\"line one ]]> of a text&#10;line two, and more\"/>\n");
    std::string report;
    EXPECT_TRUE(AllWellFormed({Xml(r), Xml(t)}, &report)) << report;
    CRecord::Destroy(r);
    CRecord::Destroy(t);
}

TEST_F(Xml_, RandomTextIsAlwaysWellFormed) {
    std::mt19937 rng(5);
    const char* pieces[] = {"]]>",  "]]", "<",  "&",        "\"",           "'",
                            "\r\n", "\n", "\r", "\xc3\xa9", "\xef\xbf\xbf", "--"};
    auto randomText = [&] {
        std::string s;
        const u32 n = rng() % 60;
        for (u32 i = 0; i < n; ++i) {
            if (rng() % 3 == 0)
                s += pieces[rng() % std::size(pieces)];
            else
                s += char(rng() % 4 ? 0x20 + rng() % 95 : rng() % 256);
        }
        return LString(std::string_view(s));
    };
    std::vector<std::string> docs;
    for (int i = 0; i < 300; ++i) {
        CRecord* r = CRecord::New(&gRoot);
        r->SetString(nullptr, xText, randomText());
        r->SetString(nullptr, xLong, randomText());
        const LString strs[3] = {randomText(), randomText(), randomText()};
        r->SetArray(nullptr, xStrs, strs, rng() % 4);
        CRecord* item = CRecord::New(&gItem);
        item->SetString(nullptr, 1, randomText());
        r->InsertItem(nullptr, xItms, 0, item);
        docs.push_back(Xml(r));
        CRecord::Destroy(r);
    }
    std::string report;
    EXPECT_TRUE(AllWellFormed(docs, &report)) << report.substr(0, 2000);
}

TEST_F(Xml_, EveryRegisteredKindIsWellFormed) {
    u32 count = 0;
    const RecKindCode* kinds = AllRecordKinds(&count);
    std::vector<std::string> docs;
    for (u32 i = 0; i < count; ++i) {
        CRecord* r = CRecord::New(CRecordSchema::Find(kinds[i].family, kinds[i].kind));
        if (!r) continue;
        docs.push_back(Xml(r));
        CRecord::Destroy(r);
    }
    // A parameter node: its tags are letters padded with blanks.
    CRecord* node = NewParamNodeRecord();
    NodeSetIntC(node, "a", 1);
    NodeSetIntC(NodeGetOrCreate(node, nullptr, "b"), "c", 2);
    const std::string p = Xml(node);
    EXPECT_NE(p.find("<YUND_PRAM i=\"a\" v=\"1\"/>"), std::string::npos) << p;
    docs.push_back(p);
    ASSERT_GT(docs.size(), 10u);
    std::string report;
    EXPECT_TRUE(AllWellFormed(docs, &report)) << report.substr(0, 2000);

    // Too deep: refused, the stream untouched.
    CRecord* n = node;
    for (int i = 0; i < 100; ++i) n = NodeGetOrCreate(n, nullptr, "d");
    LDataBuf buf;
    CMemStrm s(buf);
    s.Write("keep", 4);
    EXPECT_FALSE(WriteRecordXml(&s, node));
    EXPECT_EQ(s.Position(), 4u);
    CRecord::Destroy(node);
}

}  // namespace
