// The preferences store: the "prefs" dictionary of an INI file in a private
// configuration folder (XDG_CONFIG_HOME), read and written through its nodes.
#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "platform/qt/CAppPrefs.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

const LString kId("kvprefs-test");

CRecord* NewPrefs() {
    RegisterAllRecordKinds();
    RegisterPrefNodeKinds();
    return CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref));
}

// What the record walk writes of a record, as text.
std::string WalkDump(const CRecord* r) {
    CMemPrefStore store;
    CPrefNode node(&store, "prefs");
    WriteToPrefNode(node, r);
    return store.Dump();
}

std::string Slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<none>");
}

class Prefs : public ::testing::Test {
protected:
    void SetUp() override {
        if (!getenv("KV_PREFS_CHILD")) setenv("XDG_CONFIG_HOME", fDir.Path().c_str(), 1);
    }
    testtftp::TempDir fDir;
};

TEST_F(Prefs, FirstStartSavesWhatTheWalkWrote) {
    CRecord* r = NewPrefs();
    r->SetString(nullptr, PrefF::lstf, LString("liste \xC3\xA9"));
    r->SetU8(nullptr, PrefF::snmn, 3);
    const std::string expected = WalkDump(r);
    {
        CAppPrefs prefs(kId, 1);
        ASSERT_TRUE(WriteToPrefNode(prefs.Root(), r));
        // Keys are never groups of the INI file.
        prefs.Root().SetString("a/b", LString("slash"));
        EXPECT_EQ(prefs.Save(), CAppPrefs::kSaveOk);
    }
    CAppPrefs back(kId, 0);
    LString s;
    EXPECT_TRUE(back.Root().GetString("a/b", &s));
    EXPECT_EQ(s, "slash");
    back.Root().RemoveValue("a/b");  // read-only: ignored
    CMemPrefStore walked;
    {
        CPrefNode node(&walked, "prefs");
        WriteToPrefNode(node, r);
        node.SetString("a/b", LString("slash"));
    }
    EXPECT_EQ(back.Store().Dump(), walked.Dump()) << expected;
    CRecord::Destroy(r);
}

TEST_F(Prefs, StringPrefsReplacedAndReadOnlyLeavesTheFile) {
    const QString path = CAppPrefs::PathFor(kId);
    {
        QSettings s(path, QSettings::IniFormat);
        s.setValue("prefs", QStringLiteral("not a dictionary"));
    }
    const std::string before = Slurp(path);
    {
        CAppPrefs ro(kId, 0);
        ro.Root().SetString("k", LString("v"));
        const u8 ten[10] = {};
        ro.Root().SetBytes("b", ten, 10);
        EXPECT_EQ(ro.Save(), CAppPrefs::kSaveReadOnly);
    }
    EXPECT_EQ(Slurp(path), before);
    {
        CAppPrefs rw(kId, 1);
        const u8 ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        rw.Root().SetBytes("b", ten, 10);
    }
    QSettings s(path, QSettings::IniFormat);
    ASSERT_EQ(s.value("prefs").typeId(), QMetaType::QVariantMap);
    CAppPrefs back(kId, 0);
    u8 four[4] = {};
    u32 len = 4;
    EXPECT_TRUE(back.Root().GetBytes("b", four, &len));
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(four[3], 4);
    EXPECT_TRUE(back.Root().GetBytes("b", nullptr, &len));
    EXPECT_EQ(len, 10u);
}

// The file cannot be written: the save says so instead of losing the changes silently.
TEST_F(Prefs, FailedSaveIsReported) {
    const QString path = CAppPrefs::PathFor(kId);
    const struct {
        const char* why;
        std::string blocker;  // a folder where the file should be, or a file where its folder
    } cases[] = {
        {"file is a folder", path.toStdString()},
        {"folder is a file", fDir.Path() + "/sub"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        if (c.blocker == path.toStdString()) {
            ASSERT_EQ(system(("mkdir -p '" + c.blocker + "'").c_str()), 0);
        } else {
            std::ofstream(c.blocker) << "x";
            setenv("XDG_CONFIG_HOME", (c.blocker + "/cfg").c_str(), 1);
        }
        CAppPrefs prefs(kId, 1);
        prefs.Root().SetString("k", LString("v"));
        EXPECT_EQ(prefs.Save(), CAppPrefs::kSaveAccess);
    }
}

// A filled preferences record read back by another process.
TEST_F(Prefs, FilledRecordReadByNewProcess) {
    CRecord* r = NewPrefs();
    r->SetString(nullptr, PrefF::dldr, LString("file:///home/u/Downloads/"));
    r->SetString(nullptr, PrefF::plst, LString("a\nb"));
    r->SetU8(nullptr, PrefF::usnm, 1);
    const i32 mnpl[3] = {5, -6, 7};
    r->SetArray(nullptr, PrefF::mnpl, mnpl, 3);
    NodeSetIntC(r->GetChild(PrefF::misc), "zoom", 150);
    {
        CAppPrefs prefs(kId, 1);
        ASSERT_TRUE(WriteToPrefNode(prefs.Root(), r));
        ASSERT_EQ(prefs.Save(), CAppPrefs::kSaveOk);
    }
    const std::string expected = fDir.Path() + "/expected";
    std::ofstream(expected) << WalkDump(r);
    const std::string cmd = "KV_PREFS_CHILD='" + expected + "' /proc/" + std::to_string(getpid()) +
                            "/exe --gtest_filter=Prefs.ChildReadsBack >/dev/null";
    EXPECT_EQ(system(cmd.c_str()), 0);
    CRecord::Destroy(r);
}

TEST_F(Prefs, ChildReadsBack) {
    const char* expected = getenv("KV_PREFS_CHILD");
    if (!expected) GTEST_SKIP() << "run by FilledRecordReadByNewProcess";
    CRecord* r = NewPrefs();
    CAppPrefs prefs(kId, 0);
    ASSERT_TRUE(ReadFromPrefNode(prefs.Root(), r));
    std::stringstream want;
    want << std::ifstream(expected).rdbuf();
    EXPECT_EQ(WalkDump(r), want.str());
    CRecord::Destroy(r);
}

}  // namespace
