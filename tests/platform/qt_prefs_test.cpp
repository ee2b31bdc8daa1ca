// The preferences store in a private configuration folder (XDG_CONFIG_HOME).
#include <gtest/gtest.h>

#include <QSettings>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/qt/CAppPrefs.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

const LString kId("kvprefs-test");

// What the record walk writes of a record.
std::string Walk(CRecord* r, std::string* dump) {
    CMemPrefStore store;
    CPrefNode node(&store, "prefs");
    WriteToPrefNode(node, r);
    *dump = store.Dump();
    return *dump;
}

CRecord* Filled() {
    RegisterAllRecordKinds();
    CRecord* r = CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref));
    r->SetString(nullptr, PrefF::dldr, LString("file:///Root/home/u/\xC3\xA9/"));
    r->SetU8(nullptr, PrefF::usnm, 1);
    NodeSetIntC(r->GetChild(PrefF::misc), "a/b", 150);  // no INI groups from "/"
    return r;
}

TEST(Prefs, SavedWholeAndReadBackByANewProcess) {
    testtftp::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    const QString path = CAppPrefs::PathFor(kId);
    QSettings(path, QSettings::IniFormat).setValue("prefs", "not a dictionary");
    const auto stamp = std::filesystem::last_write_time(path.toStdString());
    CAppPrefs(kId, 0).Root().SetString("k", LString("v"));  // read-only: never written
    EXPECT_EQ(std::filesystem::last_write_time(path.toStdString()), stamp);
    CRecord* r = Filled();
    std::string want;
    {
        CAppPrefs prefs(kId, 1);
        ASSERT_TRUE(WriteToPrefNode(prefs.Root(), r));
        const u8 ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        CPrefNode(&prefs.Root(), "blob").SetBytes("b", ten, 10);
        ASSERT_EQ(prefs.Save(), CAppPrefs::kSaveOk);
    }
    EXPECT_EQ(QSettings(path, QSettings::IniFormat).value("prefs").typeId(),
              QMetaType::QVariantMap);
    CAppPrefs back(kId, 0);
    CPrefNode blob(&back.Root(), "blob");
    u8 four[4] = {};
    u32 len = 4;
    EXPECT_TRUE(blob.GetBytes("b", four, &len) && len == 4 && four[3] == 4);
    EXPECT_TRUE(blob.GetBytes("b", nullptr, &len) && len == 10);
    std::ofstream(dir.Path() + "/want") << Walk(r, &want);
    const std::string cmd = "KV_PREFS_CHILD='" + dir.Path() + "/want' /proc/" +
                            std::to_string(getpid()) + "/exe --gtest_filter=Prefs.Child >/dev/null";
    EXPECT_EQ(system(cmd.c_str()), 0) << "another process reads the same record";
    CRecord::Destroy(r);
}

TEST(Prefs, Child) {
    const char* want = getenv("KV_PREFS_CHILD");
    if (!want) GTEST_SKIP() << "run by SavedWholeAndReadBackByANewProcess";
    CRecord* r = Filled();
    CAppPrefs prefs(kId, 0);
    ASSERT_TRUE(ReadFromPrefNode(prefs.Root(), r));
    std::stringstream s;
    s << std::ifstream(want).rdbuf();
    std::string got;
    EXPECT_EQ(Walk(r, &got), s.str());
    CRecord::Destroy(r);
}

// The file cannot be written: the save says so instead of losing the changes.
TEST(Prefs, FailedSaveIsReported) {
    testtftp::TempDir dir;
    for (const std::string& config : {dir.Path(), dir.Path() + "/file/cfg"}) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        if (config == dir.Path())
            std::filesystem::create_directories(CAppPrefs::PathFor(kId).toStdString());
        else
            std::ofstream(dir.Path() + "/file") << "x";
        CAppPrefs prefs(kId, 1);
        prefs.Root().SetString("k", LString("v"));
        EXPECT_EQ(prefs.Save(), CAppPrefs::kSaveAccess) << config;
    }
}

}  // namespace
