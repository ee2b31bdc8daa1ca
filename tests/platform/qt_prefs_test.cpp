// The preferences store in a private configuration folder (XDG_CONFIG_HOME).
#include <gtest/gtest.h>

#include <QSettings>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "platform/qt/CAppPrefs.h"
#include "platform/qt/QtAppPrefStore.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "tools/testkit/KillRounds.h"
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

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<none>";
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.insert(e.path().filename().string());
    return out;
}

std::vector<std::string> gSaid;
void Note(const std::string& text) {
    gSaid.push_back(text);
}

// Every byte value and every kind of text goes through the file's escapes and
// comes back the same, read by a process that did not write it.
TEST(Prefs, EveryByteSurvivesTheFile) {
    testtftp::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    {
        CAppPrefs prefs(kId, 1);
        CPrefNode node(&prefs.Root(), "bytes");
        node.SetBytes("all", all.data(), u32(all.size()));
        node.SetBytes("digits after escapes",
                      "\x01"
                      "1a\x7f"
                      "F9",
                      6);
        node.SetString("text", LString("=;,\"\\ x\t \xC3\xA9 \xE2\x82\xAC ()"));
        ASSERT_EQ(prefs.Save(), CAppPrefs::kSaveOk);
    }
    const std::string want = dir.Path() + "/want";
    {
        CMemPrefStore store;
        CPrefNode node(&store, "bytes");
        node.SetBytes("all", all.data(), u32(all.size()));
        node.SetBytes("digits after escapes",
                      "\x01"
                      "1a\x7f"
                      "F9",
                      6);
        node.SetString("text", LString("=;,\"\\ x\t \xC3\xA9 \xE2\x82\xAC ()"));
        std::ofstream(want) << store.Dump();
    }
    const std::string cmd = "KV_PREFS_DUMP='" + want + "' /proc/" + std::to_string(getpid()) +
                            "/exe --gtest_filter=Prefs.DumpChild >/dev/null";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

TEST(Prefs, DumpChild) {
    const char* want = getenv("KV_PREFS_DUMP");
    if (!want) GTEST_SKIP() << "run by EveryByteSurvivesTheFile";
    CAppPrefs prefs(kId, 0);
    EXPECT_FALSE(prefs.WasUnreadable());
    CMemPrefStore store;
    CPrefNode node(&store, "bytes");
    CPrefNode from(&prefs.Root(), "bytes");
    std::string all(300, 0);
    u32 len = 300;
    ASSERT_TRUE(from.GetBytes("all", all.data(), &len));
    node.SetBytes("all", all.data(), len);
    len = 300;
    ASSERT_TRUE(from.GetBytes("digits after escapes", all.data(), &len));
    node.SetBytes("digits after escapes", all.data(), len);
    LString text;
    ASSERT_TRUE(from.GetString("text", &text));
    node.SetString("text", text);
    EXPECT_EQ(store.Dump(), Bytes(want));
}

// A full disk: the save says it failed, the file on disk is the old one byte for
// byte, nothing is left beside it, and the failure is said.
TEST(Prefs, FullDiskKeepsTheOldFileAndSaysSo) {
    testtftp::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    const std::string path = CAppPrefs::PathFor(kId).toStdString();
    const std::string why = testkit::OnSmallDisk(dir.Path(), 128, [&]() -> std::string {
        {
            CAppPrefs prefs(kId, 1);
            prefs.Root().SetString("k", LString("old"));
            if (prefs.Save() != CAppPrefs::kSaveOk) return "the first save failed";
        }
        const std::string before = Bytes(path);
        if (!testkit::FillDisk(dir.Path(), "filler")) return "the disk did not fill";
        CAppPrefs prefs(kId, 1);
        prefs.Root().SetString("k", LString(std::string(20000, 'n').c_str()));
        if (prefs.Save() != CAppPrefs::kSaveAccess) return "the save reported success";
        if (Bytes(path) != before) return "the file changed";
        const std::set<std::string> want{"filler", std::filesystem::path(path).filename()};
        if (Names(dir.Path()) != want) return "something was left beside the file";
        // Through the application's store: said once, to the user.
        gSaid.clear();
        QtAppPrefStore::SetReportHook(Note);
        QtAppPrefStore store;
        CPrefNode* node = store.OpenPrefs(true);
        if (!node) return "no store";
        node->SetString("k", LString(std::string(20000, 'm').c_str()));
        store.ClosePrefs(node, true);
        QtAppPrefStore::SetReportHook(nullptr);
        if (gSaid.size() != 1 || gSaid[0].find("could not be saved") == std::string::npos)
            return "not said";
        if (Bytes(path) != before) return "the file changed through the store";
        return "";
    });
    if (why.rfind("unshare", 0) == 0) GTEST_SKIP() << why;
    EXPECT_EQ(why, "");
}

// Without a window system the failure goes to stderr.
TEST(Prefs, FailedSaveGoesToStderrWithoutAWindow) {
    testtftp::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    std::filesystem::create_directories(CAppPrefs::PathFor(kId).toStdString());
    // The store's own file name: the application's.
    std::filesystem::create_directories(CAppPrefs::PathFor(LString()).toStdString());
    QtAppPrefStore store;
    testing::internal::CaptureStderr();
    CPrefNode* node = store.OpenPrefs(true);
    ASSERT_NE(node, nullptr);
    store.ClosePrefs(node, true);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("could not be saved"), std::string::npos);
}

// Killed while saving: the file is the old one or the new one, never cut off, and
// nothing a user sees is left beside it.
TEST(Prefs, KilledSavesLeaveTheOldOrTheNewFile) {
    testtftp::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    const std::string path = CAppPrefs::PathFor(kId).toStdString();
    const std::string leaf = std::filesystem::path(path).filename();
    auto save = [](const std::string& value) {
        CAppPrefs prefs(kId, 1);
        for (int i = 0; i < 50; ++i)
            CPrefNode(&prefs.Root(), ("n" + std::to_string(i)).c_str())
                .SetString("v", LString(value.c_str()));
        prefs.Save();
    };
    save("old");
    const std::string oldBytes = Bytes(path);
    save(std::string(300, 'n'));
    const std::string newBytes = Bytes(path);
    std::mt19937 rng(126);
    u32 midSave = 0;
    for (const bool existing : {false, true}) {
        for (u32 i = 0; i < 15; ++i) {
            std::filesystem::remove(path);
            if (existing) save("old");
            const testkit::KillResult k =
                testkit::KillDuringSaves([&] { save(std::string(300, 'n')); }, 4000, rng);
            ASSERT_TRUE(k.started);
            midSave += k.midSave;
            const std::string got = Bytes(path);
            EXPECT_TRUE(got == newBytes || got == (existing ? oldBytes : "<none>"))
                << "cut off: " << got.size() << " bytes";
            for (const std::string& n : Names(dir.Path())) {
                EXPECT_TRUE(n == leaf || n[0] == '.') << n;
            }
            LString url;
            PosixPathToFileUrl(&url, LString(dir.Path().c_str()));
            RemoveDeadTemporaries(url);
            EXPECT_LE(Names(dir.Path()).size(), 1u);
        }
    }
    std::printf("30 killed preference saves, %u inside a save\n", midSave);
}

// Preferences that cannot be read at start, or written at quit (once while the
// windows are there, once more as they go), are said once each; nothing is
// written over a file that could not be read.
TEST(Prefs, UnreadableOrUnwritablePreferencesAreSaidOnce) {
    testtftp::TempDir dir;
    const struct {
        const char* what;
        bool folderAtFile;  // else the configuration folder's place holds a file
        const char* readSaid;
    } cases[] = {
        {"a folder where the file should be", true, "could not be read"},
        {"a file where the folder should be", false, nullptr},
    };
    QtAppPrefStore::SetReportHook(Note);
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir.Path());
        std::filesystem::create_directories(dir.Path());
        const std::string config = c.folderAtFile ? dir.Path() : dir.Path() + "/file/cfg";
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        const std::string path = CAppPrefs::PathFor(LString()).toStdString();
        if (c.folderAtFile)
            std::filesystem::create_directories(path + "/inside");
        else
            std::ofstream(dir.Path() + "/file") << "x";
        gSaid.clear();
        QtAppPrefStore store;
        CPrefNode* node = store.OpenPrefs(false);
        if (node) store.ClosePrefs(node, false);
        ASSERT_EQ(gSaid.size(), c.readSaid ? 1u : 0u) << c.what;
        if (c.readSaid) {
            EXPECT_NE(gSaid[0].find(c.readSaid), std::string::npos) << gSaid[0];
        }
        gSaid.clear();
        for (int save = 0; save < 2; ++save) {
            node = store.OpenPrefs(true);
            ASSERT_NE(node, nullptr) << c.what;
            node->SetString("k", LString("new"));
            store.ClosePrefs(node, true);
        }
        ASSERT_EQ(gSaid.size(), 1u) << c.what;
        EXPECT_NE(gSaid[0].find("could not be saved"), std::string::npos) << gSaid[0];
        if (c.folderAtFile) {
            EXPECT_TRUE(std::filesystem::is_directory(path + "/inside")) << c.what;
        } else {
            EXPECT_EQ(Bytes(dir.Path() + "/file"), "x") << c.what;
        }
    }
    QtAppPrefStore::SetReportHook(nullptr);
}

// A file that cannot be read is kept beside it before anything replaces it, and
// said once; a later save writes readable preferences again.
TEST(Prefs, UnreadableFileIsKeptAndSaidOnce) {
    testtftp::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    const std::string path = CAppPrefs::PathFor(LString()).toStdString();
    {
        QtAppPrefStore store;
        CPrefNode* node = store.OpenPrefs(true);
        node->SetString("k", LString(std::string(400, 'v').c_str()));
        store.ClosePrefs(node, true);
    }
    const std::string good = Bytes(path);
    const struct {
        const char* what;
        std::string bytes;
        bool kept;
    } cases[] = {
        {"cut in the value", good.substr(0, good.size() / 2), true},
        {"cut after the key", good.substr(0, good.find('=') + 1), true},
        {"the header alone", "[General]\n", true},
        {"not a dictionary", "[General]\nprefs=some text\n", true},
        {"another program's text", "\x89PNG\r\n\x1a\n\x00\x00", true},
        {"empty", "", false},
    };
    QtAppPrefStore::SetReportHook(Note);
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir.Path());
        std::filesystem::create_directories(dir.Path());
        std::ofstream(path, std::ios::binary) << c.bytes;
        gSaid.clear();
        QtAppPrefStore store;
        // Read at start, then read again and written at quit.
        CPrefNode* node = store.OpenPrefs(false);
        if (node) store.ClosePrefs(node, false);
        node = store.OpenPrefs(true);
        ASSERT_NE(node, nullptr) << c.what;
        node->SetString("k", LString("new"));
        store.ClosePrefs(node, true);
        EXPECT_EQ(Bytes(path + ".unreadable"), c.kept ? c.bytes : "<none>") << c.what;
        EXPECT_EQ(gSaid.size(), c.kept ? 1u : 0u) << c.what;
        if (!gSaid.empty()) {
            EXPECT_NE(gSaid[0].find(".unreadable"), std::string::npos);
        }
        CAppPrefs back(LString(), 0);
        EXPECT_FALSE(back.WasUnreadable()) << c.what;
        LString v;
        EXPECT_TRUE(back.Root().GetString("k", &v) && v == LString("new")) << c.what;
    }
    // An older, different copy stays; the new one is numbered.
    std::ofstream(path, std::ios::binary) << "garbage one";
    { CAppPrefs(LString(), 0); }
    std::ofstream(path, std::ios::binary) << "garbage two";
    {
        CAppPrefs again(LString(), 0);
        EXPECT_EQ(again.UnreadableCopy().toStdString(), path + ".unreadable2");
    }
    EXPECT_EQ(Bytes(path + ".unreadable2"), "garbage two");
    QtAppPrefStore::SetReportHook(nullptr);
}

}  // namespace
